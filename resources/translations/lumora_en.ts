<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Lumora</name>
    <message>
        <source>If you quit now, your changes changes will not be saved.</source>
        <translation>If you quit now, your changes will not be saved.</translation>
    </message>
</context>
</TS>
