<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>AssistantWindow</name>
    <message>
        <location filename="assistantwindow.cpp" line="115"/>
        <source>INDI server</source>
        <translation>Server INDI</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="122"/>
        <source>List devices</source>
        <translation>Elenca dispositivi</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="140"/>
        <source>Devices</source>
        <translation>Dispositivi</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="158"/>
        <source>Camera</source>
        <translation>Camera</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="159"/>
        <source>Light box</source>
        <translation>Pannello luminoso</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="160"/>
        <source>Filter wheel</source>
        <translation>Ruota portafiltri</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="161"/>
        <source>Filters</source>
        <translation>Filtri</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="169"/>
        <source>Search</source>
        <translation>Ricerca</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="177"/>
        <source>Exposure</source>
        <translation>Esposizione</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="178"/>
        <source>Shortest exposure</source>
        <translation>Esposizione minima</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="179"/>
        <source>Longest exposure</source>
        <translation>Esposizione massima</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="180"/>
        <source>Target (of full scale)</source>
        <translation>Obiettivo (del fondo scala)</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="181"/>
        <source>Tolerance (of the target)</source>
        <translation>Tolleranza (dell&apos;obiettivo)</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="190"/>
        <location filename="assistantwindow.cpp" line="423"/>
        <source>Flat table</source>
        <translation>Tabella dei flat</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="193"/>
        <source>optional</source>
        <translation>facoltativo</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="194"/>
        <source>Browse…</source>
        <translation>Sfoglia…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="200"/>
        <source>the camera&apos;s binning</source>
        <translation>il binning della camera</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="206"/>
        <source>Table file</source>
        <translation>File tabella</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="207"/>
        <source>Camera type</source>
        <translation>Tipo di camera</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="208"/>
        <source>ISO/binning</source>
        <translation>ISO/binning</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="216"/>
        <source>Start</source>
        <translation>Avvia</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="217"/>
        <source>Stop</source>
        <translation>Ferma</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="218"/>
        <source>Save to table…</source>
        <translation>Salva nella tabella…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="219"/>
        <source>Night</source>
        <translation>Notte</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="242"/>
        <source>Filter shown</source>
        <translation>Filtro mostrato</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Filter</source>
        <translation>Filtro</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Level</source>
        <translation>Livello</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Exposure (s)</source>
        <translation>Esposizione (s)</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Median</source>
        <translation>Mediana</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Frames</source>
        <translation>Pose</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="254"/>
        <source>Status</source>
        <translation>Stato</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="341"/>
        <source>Asking %1:%2…</source>
        <translation>Richiesta a %1:%2…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="365"/>
        <source>Cameras: %1, light boxes: %2, filter wheels: %3</source>
        <translation>Camere: %1, pannelli luminosi: %2, ruote portafiltri: %3</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="388"/>
        <source>Choose a camera and a light box first (List devices asks the INDI server).</source>
        <translation>Scegli prima una camera e un pannello luminoso (Elenca dispositivi interroga il server INDI).</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="405"/>
        <location filename="assistantwindow.cpp" line="414"/>
        <source>Save to table</source>
        <translation>Salva nella tabella</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="405"/>
        <location filename="assistantwindow.cpp" line="424"/>
        <source>Flat tables (*.vfc)</source>
        <translation>Tabelle dei flat (*.vfc)</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="414"/>
        <source>The table was not saved: %1</source>
        <translation>La tabella non è stata salvata: %1</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="418"/>
        <source>Saved to %1</source>
        <translation>Salvata in %1</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="463"/>
        <source>Ready</source>
        <translation>Pronto</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="465"/>
        <source>Connecting…</source>
        <translation>Connessione…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="467"/>
        <source>Moving the filter wheel…</source>
        <translation>Movimento della ruota portafiltri…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="469"/>
        <source>Setting the light…</source>
        <translation>Impostazione della luce…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="471"/>
        <source>Exposing…</source>
        <translation>Esposizione in corso…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="473"/>
        <source>Measuring…</source>
        <translation>Misura…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="475"/>
        <source>Finished</source>
        <translation>Finito</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="477"/>
        <source>Stopped</source>
        <translation>Fermato</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="479"/>
        <source>Failed</source>
        <translation>Non riuscito</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="496"/>
        <source>saturated</source>
        <translation>saturata</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="498"/>
        <source>Searching…</source>
        <translation>Ricerca…</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="510"/>
        <source>Done</source>
        <translation>Fatto</translation>
    </message>
    <message>
        <location filename="assistantwindow.cpp" line="510"/>
        <source>Not reached</source>
        <translation>Non raggiunto</translation>
    </message>
</context>
<context>
    <name>FlatChart</name>
    <message>
        <location filename="flatchart.cpp" line="40"/>
        <source>Target band</source>
        <translation>Banda obiettivo</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="41"/>
        <source>Learned curve</source>
        <translation>Curva appresa</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="42"/>
        <source>Frames</source>
        <translation>Pose</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="43"/>
        <source>Saturated</source>
        <translation>Saturate</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="57"/>
        <source>Lamp level</source>
        <translation>Livello della lampada</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="63"/>
        <source>Median (of full scale)</source>
        <translation>Mediana (del fondo scala)</translation>
    </message>
    <message>
        <location filename="flatchart.cpp" line="120"/>
        <source>%1 at %2 s</source>
        <extracomment>The chart&apos;s title: a filter and the exposure of its latest frame.</extracomment>
        <translation>%1 a %2 s</translation>
    </message>
</context>
</TS>
