<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>AssistantResultsModel</name>
    <message>
        <source>Filter</source>
        <translation>Filtro</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Livello</translation>
    </message>
    <message>
        <source>Exposure (s)</source>
        <translation>Esposizione (s)</translation>
    </message>
    <message>
        <source>Median</source>
        <translation>Mediana</translation>
    </message>
    <message>
        <source>Frames</source>
        <translation>Pose</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Stato</translation>
    </message>
    <message>
        <source>saturated</source>
        <translation>saturata</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>In attesa</translation>
    </message>
    <message>
        <source>Searching…</source>
        <translation>Ricerca…</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Fermato</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Non riuscito</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fatto</translation>
    </message>
    <message>
        <source>Not reached</source>
        <translation>Non raggiunto</translation>
    </message>
    <message>
        <source>%1, banding below %2 s</source>
        <translation>%1, bande sotto %2 s</translation>
    </message>
</context>
<context>
    <name>AssistantWindow</name>
    <message>
        <source>INDI server</source>
        <translation>Server INDI</translation>
    </message>
    <message>
        <source>List devices</source>
        <translation>Elenca dispositivi</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Dispositivi</translation>
    </message>
    <message>
        <source>Camera</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>Light box</source>
        <translation>Pannello luminoso</translation>
    </message>
    <message>
        <source>Filter wheel</source>
        <translation>Ruota portafiltri</translation>
    </message>
    <message>
        <source>Filters</source>
        <translation>Filtri</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Ricerca</translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation>Esposizione</translation>
    </message>
    <message>
        <source>Shortest exposure</source>
        <translation>Esposizione minima</translation>
    </message>
    <message>
        <source>Longest exposure</source>
        <translation>Esposizione massima</translation>
    </message>
    <message>
        <source>Target (of full scale)</source>
        <translation>Obiettivo (del fondo scala)</translation>
    </message>
    <message>
        <source>Tolerance (of the target)</source>
        <translation>Tolleranza (dell&apos;obiettivo)</translation>
    </message>
    <message>
        <source>Flat table</source>
        <translation>Tabella dei flat</translation>
    </message>
    <message>
        <source>optional</source>
        <translation>facoltativo</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>Sfoglia…</translation>
    </message>
    <message>
        <source>the camera&apos;s binning</source>
        <translation>il binning della camera</translation>
    </message>
    <message>
        <source>Table file</source>
        <translation>File tabella</translation>
    </message>
    <message>
        <source>Camera type</source>
        <translation>Tipo di camera</translation>
    </message>
    <message>
        <source>ISO/binning</source>
        <translation>ISO/binning</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Avvia</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Ferma</translation>
    </message>
    <message>
        <source>Save to table…</source>
        <translation>Salva nella tabella…</translation>
    </message>
    <message>
        <source>Night</source>
        <translation>Notte</translation>
    </message>
    <message>
        <source>Filter shown</source>
        <translation>Filtro mostrato</translation>
    </message>
    <message>
        <source>Asking %1:%2…</source>
        <translation>Richiesta a %1:%2…</translation>
    </message>
    <message>
        <source>Cameras: %1, light boxes: %2, filter wheels: %3</source>
        <translation>Camere: %1, pannelli luminosi: %2, ruote portafiltri: %3</translation>
    </message>
    <message>
        <source>Choose a camera and a light box first (List devices asks the INDI server).</source>
        <translation>Scegli prima una camera e un pannello luminoso (Elenca dispositivi interroga il server INDI).</translation>
    </message>
    <message>
        <source>Save to table</source>
        <translation>Salva nella tabella</translation>
    </message>
    <message>
        <source>Flat tables (*.vfc)</source>
        <translation>Tabelle dei flat (*.vfc)</translation>
    </message>
    <message>
        <source>The table was not saved: %1</source>
        <translation>La tabella non è stata salvata: %1</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Salvata in %1</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Pronto</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Connessione…</translation>
    </message>
    <message>
        <source>Moving the filter wheel…</source>
        <translation>Movimento della ruota portafiltri…</translation>
    </message>
    <message>
        <source>Setting the light…</source>
        <translation>Impostazione della luce…</translation>
    </message>
    <message>
        <source>Exposing…</source>
        <translation>Esposizione in corso…</translation>
    </message>
    <message>
        <source>Measuring…</source>
        <translation>Misura…</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>Finito</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Fermato</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Non riuscito</translation>
    </message>
    <message>
        <source>%v of %m frames of the flat set</source>
        <translation>%v di %m fotogrammi del set di flat</translation>
    </message>
    <message>
        <source>Flat set</source>
        <translation>Set di flat</translation>
    </message>
    <message>
        <source>levels only</source>
        <translation>solo i livelli</translation>
    </message>
    <message>
        <source>Flats and flat-darks</source>
        <translation>Flat e dark dei flat</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Cartella</translation>
    </message>
    <message>
        <source>Choose a folder for the flat set first.</source>
        <translation>Scegli prima una cartella per il set di flat.</translation>
    </message>
    <message>
        <source>Flat set folder</source>
        <translation>Cartella del set di flat</translation>
    </message>
    <message>
        <source>Saving the frame…</source>
        <translation>Salvataggio del fotogramma…</translation>
    </message>
    <message>
        <source>Not taken from the command line: %1</source>
        <translation>Non preso dalla riga di comando: %1</translation>
    </message>
</context>
<context>
    <name>FlatChart</name>
    <message>
        <source>Target band</source>
        <translation>Banda obiettivo</translation>
    </message>
    <message>
        <source>Learned curve</source>
        <translation>Curva appresa</translation>
    </message>
    <message>
        <source>Frames</source>
        <translation>Pose</translation>
    </message>
    <message>
        <source>Saturated</source>
        <translation>Saturate</translation>
    </message>
    <message>
        <source>Lamp level</source>
        <translation>Livello della lampada</translation>
    </message>
    <message>
        <source>Median (of full scale)</source>
        <translation>Mediana (del fondo scala)</translation>
    </message>
    <message>
        <source>%1 at %2 s</source>
        <extracomment>The chart&apos;s title: a filter and the exposure of its latest frame.</extracomment>
        <translation>%1 a %2 s</translation>
    </message>
</context>
</TS>
