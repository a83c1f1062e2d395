#pragma once

// The texts that the window's form sets, in the order in which it sets them; empty texts are set without a lookup.
struct FormTextRow
{
    const char *object;
    const char *property;
    const char *source;
};
inline const FormTextRow formTextRows[] = {
    {"VelmoraFlat", "windowTitle", "VELMORA Flat Field Generator"},
    {"MT_lampLevelGroup", "title", "Light Source"},
    {"MT_serialPortGroup", "title", "Serial Port"},
    {"MT_serialConnect", "text", "Connect"},
    {"MT_serialDisconnect", "text", "Disconnect"},
    {"MT_lampStatusGroup", "title", "Lamp Status"},
    {"MT_lampSwitch", "text", ""},
    {"MT_nightVisionGroup", "title", "Night Vision"},
    {"MT_nightVisionButton", "text", "Enable"},
    {"mainTabDescription", "text", "FLAT FIELD GENERATOR"},
    {"mainTab", "tabText", ""},
    {"FT_infoGroup", "title", ""},
    {"FT_exposureLabel", "text", "Exposure"},
    {"FT_exposureSetting", "text", "0"},
    {"FT_lightLabel", "text", "Luminance"},
    {"FT_lightSetting", "text", "0"},
    {"FT_FilterGroup", "title", "Filter"},
    {"FT_applySettingButton", "text", "Apply"},
    {"FT_CameraGroup", "title", "Camera"},
    {"filtersTabDescription", "text", "FILTERS"},
    {"filtersTab", "tabText", ""},
    {"ST_lampLevelGroup", "title", "Light Source"},
    {"ST_lampSettingGroup", "title", "Settings"},
    {"ST_exposureLabel", "text", "Exposure"},
    {"ST_modifyButton", "text", "Modify"},
    {"ST_applyButton", "text", "Apply"},
    {"ST_serialPortGroup", "title", "Serial Port"},
    {"ST_autoSearch", "text", "Automatic Search"},
    {"ST_connectButton", "text", "Connect Now"},
    {"ST_fileSettingGroup", "title", "File"},
    {"ST_openButton", "text", "Open"},
    {"ST_saveButton", "text", "Save"},
    {"settingsTabDescription", "text", "SETTINGS"},
    {"settingsTab", "tabText", ""},
    {"aboutUsGroup", "title", "About Us"},
    {"infoVersionLabel", "text", "version"},
    {"infoLibVersionLabel", "text", "libVelmora"},
    {"qtLogo", "text", ""},
    {"infoTab", "tabText", ""},
    {"label_3", "text", "Flat Image Analysis"},
    {"imgProcTab", "tabText", ""},
    {"label_2", "text", "Controller"},
    {"controllerTab", "tabText", ""},
};
