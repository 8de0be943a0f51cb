<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AppIdentity</name>
    <message>
        <source>Lumo — よく似たJPEG画像を探します</source>
        <translation>Lumo — finds look-alike JPEG pictures</translation>
    </message>
</context>
</TS>
