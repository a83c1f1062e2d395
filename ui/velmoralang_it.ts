<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>VelmoraFlat</name>
    <message>
        <source>VELMORA Flat Field Generator</source>
        <translation>Generatore di flat field VELMORA</translation>
    </message>
    <message>
        <source>Light Source</source>
        <translation>Fonte luminosa</translation>
    </message>
    <message>
        <source>Serial Port</source>
        <translation>Porta seriale</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Connetti</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Disconnetti</translation>
    </message>
    <message>
        <source>Lamp Status</source>
        <translation>Stato lampada</translation>
    </message>
    <message>
        <source>Night Vision</source>
        <translation>Visione notturna</translation>
    </message>
    <message>
        <source>Enable</source>
        <translation>Attiva</translation>
    </message>
    <message>
        <source>FLAT FIELD GENERATOR</source>
        <translation>GENERATORE DI FLAT FIELD</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Esposizione</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Luminance</source>
        <translation>Luminanza</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtro</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Applica</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Fotocamera</translation>
    </message>
    <message>
        <source>FILTERS</source>
        <translation>FILTRI</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Impostazioni</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>Modifica</translation>
    </message>
    <message>
        <source>Automatic Search</source>
        <translation>Ricerca automatica</translation>
    </message>
    <message>
        <source>Connect Now</source>
        <translation>Connetti ora</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Apri</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Salva</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>IMPOSTAZIONI</translation>
    </message>
    <message>
        <source>About Us</source>
        <translation>Chi siamo</translation>
    </message>
    <message>
        <source>version</source>
        <translation>versione</translation>
    </message>
    <message>
        <source>libVelmora</source>
        <translation>libVelmora</translation>
    </message>
    <message>
        <source>Flat Image Analysis</source>
        <translation>Analisi immagini flat</translation>
    </message>
    <message>
        <source>Controller</source>
        <translation>Controller</translation>
    </message>
    <message>
        <source>FLAT BOX DISCONNECTED</source>
        <translation>FLAT BOX DISCONNESSO</translation>
    </message>
    <message>
        <source>Serial Port Search Failed</source>
        <translation>Ricerca porta seriale non riuscita</translation>
    </message>
    <message>
        <source>No serial port found. Please check the VELMORA flat box connection cable and power supply</source>
        <translation>Nessuna porta seriale trovata. Controllare il cavo di collegamento e l&apos;alimentazione del flat box VELMORA</translation>
    </message>
    <message>
        <source>FLAT BOX CONNECTING...</source>
        <translation>CONNESSIONE FLAT BOX...</translation>
    </message>
    <message>
        <source>Automatic Connection Failed</source>
        <translation>Connessione automatica non riuscita</translation>
    </message>
    <message>
        <source>Flat Box serial port not found. Please check the VELMORA flat box connection cable and power supply</source>
        <translation>Porta seriale del flat box non trovata. Controllare il cavo di collegamento e l&apos;alimentazione del flat box VELMORA</translation>
    </message>
    <message>
        <source>Internal Connection Error</source>
        <translation>Errore interno di connessione</translation>
    </message>
    <message>
        <source>Please contact VELMORA customer service</source>
        <translation>Contattare l&apos;assistenza clienti VELMORA</translation>
    </message>
    <message>
        <source> FLAT BOX CONNECTED </source>
        <translation> FLAT BOX CONNESSO </translation>
    </message>
    <message>
        <source> FLAT BOX DISCONNECTED </source>
        <translation> FLAT BOX DISCONNESSO </translation>
    </message>
    <message>
        <source>Connection Error</source>
        <translation>Errore di connessione</translation>
    </message>
    <message>
        <source>Flat Box connection problem or wrong communication port. Please retry</source>
        <translation>Problema di connessione al flat box o porta di comunicazione errata. Riprovare</translation>
    </message>
    <message>
        <source>Flat Box disconnection problem. Please retry</source>
        <translation>Problema di disconnessione del flat box. Riprovare</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Altro</translation>
    </message>
    <message>
        <source>Red</source>
        <translation>Rosso</translation>
    </message>
    <message>
        <source>Green</source>
        <translation>Verde</translation>
    </message>
    <message>
        <source>Blue</source>
        <translation>Blu</translation>
    </message>
    <message>
        <source>H-alpha</source>
        <translation>H-alfa</translation>
    </message>
    <message>
        <source>OIII</source>
        <translation>OIII</translation>
    </message>
    <message>
        <source>SII</source>
        <translation>SII</translation>
    </message>
    <message>
        <source>Light Pollution</source>
        <translation>Inq. luminoso</translation>
    </message>
    <message>
        <source>the file is larger than 8 MiB</source>
        <translation>il file supera 8 MiB</translation>
    </message>
    <message>
        <source>the file is not a text file</source>
        <translation>il file non è un file di testo</translation>
    </message>
    <message>
        <source>Save configuration as</source>
        <translation>Salva configurazione con nome</translation>
    </message>
    <message>
        <source>Velmora Flat Configuration (*.vfc)</source>
        <translation>Configurazione Velmora Flat (*.vfc)</translation>
    </message>
    <message>
        <source>Save Configuration Failed</source>
        <translation>Salvataggio della configurazione non riuscito</translation>
    </message>
    <message>
        <source>The configuration could not be saved to %1: %2</source>
        <translation>Impossibile salvare la configurazione in %1: %2</translation>
    </message>
    <message>
        <source>Open configuration as</source>
        <translation>Apri configurazione</translation>
    </message>
    <message>
        <source>Open Configuration Failed</source>
        <translation>Apertura della configurazione non riuscita</translation>
    </message>
    <message>
        <source>The configuration file %1 could not be opened: %2</source>
        <translation>Impossibile aprire il file di configurazione %1: %2</translation>
    </message>
    <message>
        <source>Disable</source>
        <translation>Disattiva</translation>
    </message>
    <message>
        <source>the folder is read-only</source>
        <translation>la cartella è di sola lettura</translation>
    </message>
    <message>
        <source>Configuration File Damaged</source>
        <translation>File di configurazione danneggiato</translation>
    </message>
    <message>
        <source>The end of the configuration file %1 was damaged, as an interrupted save leaves it: %2 zero bytes were dropped and the lines before them were opened.</source>
        <translation>La fine del file di configurazione %1 era danneggiata, come la lascia un salvataggio interrotto: %2 byte a zero sono stati scartati e le righe precedenti sono state aperte.</translation>
    </message>
    <message>
        <source>Unsaved Configurations</source>
        <translation>Configurazioni non salvate</translation>
    </message>
    <message>
        <source>The flat table has changed since it was last saved or opened. Save the changes?</source>
        <translation>La tabella dei flat è cambiata dall&apos;ultimo salvataggio o apertura. Salvare le modifiche?</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Non salvare</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>Unsaved Configurations Kept</source>
        <translation>Configurazioni non salvate conservate</translation>
    </message>
    <message>
        <source>When the program was last ended from outside, the flat table had unsaved changes. They were kept in:
%1
Open the file with Open on the settings tab to use them.</source>
        <translation>Quando il programma è stato chiuso dall&apos;esterno l&apos;ultima volta, la tabella dei flat aveva modifiche non salvate. Sono state conservate in:
%1
Per usarle, apri il file con Apri nella scheda delle impostazioni.</translation>
    </message>
</context>
</TS>
