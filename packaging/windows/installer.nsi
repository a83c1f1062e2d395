; Installer of VELMORA Flat Box for 64-bit Windows (NSIS 3, Modern UI 2, English and Italian).
; makensis -DVERSION=0.3.0 -DFILEVERSION=0.3.0.0 -DDIST=<portable folder> -DOUTFILE=<setup.exe> -DICON=<.ico>
; Silent: setup.exe /S [/D=C:\folder] (the folder last, unquoted).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"

!define PRODUCT "VELMORA Flat Box"
!define COMPANY "VELMORA"
!define PROGRAM "velmora-flat.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMORA Flat Box"
!define FIREWALL_RULE "VELMORA Flat Box (Alpaca)"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\VELMORA\Flat Box"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${COMPANY}"

VIProductVersion "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${FILEVERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COMPANY}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_RESERVEFILE_LANGDLL

LangString NameProgram ${LANG_ENGLISH} "VELMORA Flat Box"
LangString NameProgram ${LANG_ITALIAN} "VELMORA Flat Box"
LangString NameItalian ${LANG_ENGLISH} "Italian texts"
LangString NameItalian ${LANG_ITALIAN} "Testi in italiano"
LangString NameFirewall ${LANG_ENGLISH} "Alpaca clients on other computers"
LangString NameFirewall ${LANG_ITALIAN} "Client Alpaca su altri computer"
LangString DescProgram ${LANG_ENGLISH} "The control panel, its Alpaca server and the server without a window (--headless)."
LangString DescProgram ${LANG_ITALIAN} "Il pannello di controllo, il suo server Alpaca e il server senza finestra (--headless)."
LangString DescItalian ${LANG_ENGLISH} "The panel shows its texts in Italian."
LangString DescItalian ${LANG_ITALIAN} "Il pannello mostra i suoi testi in italiano."
LangString DescFirewall ${LANG_ENGLISH} "Serves Alpaca clients on other computers of the network (network=true) and lets them through Windows Firewall. Only on a trusted network: Alpaca has no password."
LangString DescFirewall ${LANG_ITALIAN} "Serve i client Alpaca sugli altri computer della rete (network=true) e li lascia passare da Windows Firewall. Solo su una rete fidata: Alpaca non ha password."

Section "!$(NameProgram)" SecProgram
    SectionIn RO
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${DIST}\velmora-flat.exe"
    File "${DIST}\libvelmora_x64.dll"
    File "${DIST}\Qt5Core.dll"
    File "${DIST}\Qt5Gui.dll"
    File "${DIST}\Qt5Widgets.dll"
    File "${DIST}\Qt5Network.dll"
    File "${DIST}\Qt5SerialPort.dll"
    File "${DIST}\libmicrohttpd-12.dll"
    File "${DIST}\libgcc_s_seh-1.dll"
    File "${DIST}\libstdc++-6.dll"
    File "${DIST}\libwinpthread-1.dll"
    SetOutPath "$INSTDIR\platforms"
    File "${DIST}\platforms\qwindows.dll"
    SetOutPath "$INSTDIR\styles"
    File "${DIST}\styles\qwindowsvistastyle.dll"
    SetOutPath "$INSTDIR"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetRegView 64
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The panel shows Italian texts whenever the translation lies beside it, so it is installed on request only:
; chosen when the installer speaks Italian.
Section /o "$(NameItalian)" SecItalian
    SetOutPath "$INSTDIR"
    File "${DIST}\velmoralang_it.qm"
SectionEnd

; Off by default, like the panel's own setting.
Section /o "$(NameFirewall)" SecFirewall
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\${PROGRAM}" enable=yes profile=private,domain'
    Pop $0
    SetRegView 64
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "FirewallRule" 1
    ; The setting of the user who installs: the panel then listens on every interface.
    WriteRegStr HKCU "Software\VELMORA\VELMORA Flat Box\alpaca" "network" "true"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DescProgram)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecItalian} $(DescItalian)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecFirewall} $(DescFirewall)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${PRODUCT} needs 64-bit Windows."
        Abort
    ${EndIf}
    SetRegView 64
    !insertmacro MUI_LANGDLL_DISPLAY
    ${If} $LANGUAGE == ${LANG_ITALIAN}
        SectionSetFlags ${SecItalian} ${SF_SELECTED}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

; Everything the installer made, and nothing else: the user's settings (HKCU\Software\VELMORA) and tables stay.
Section "Uninstall"
    SetShellVarContext all
    SetRegView 64
    ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "FirewallRule"
    ${If} $0 == 1
        nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${FIREWALL_RULE}"'
        Pop $1
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\velmora-flat.exe"
    Delete "$INSTDIR\libvelmora_x64.dll"
    Delete "$INSTDIR\Qt5Core.dll"
    Delete "$INSTDIR\Qt5Gui.dll"
    Delete "$INSTDIR\Qt5Widgets.dll"
    Delete "$INSTDIR\Qt5Network.dll"
    Delete "$INSTDIR\Qt5SerialPort.dll"
    Delete "$INSTDIR\libmicrohttpd-12.dll"
    Delete "$INSTDIR\libgcc_s_seh-1.dll"
    Delete "$INSTDIR\libstdc++-6.dll"
    Delete "$INSTDIR\libwinpthread-1.dll"
    Delete "$INSTDIR\velmoralang_it.qm"
    Delete "$INSTDIR\platforms\qwindows.dll"
    Delete "$INSTDIR\styles\qwindowsvistastyle.dll"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR\platforms"
    RMDir "$INSTDIR\styles"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
