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
<context>
    <name>PictureFormats</name>
    <message>
        <source>%1 を読み込めません</source>
        <translation>Cannot read %1</translation>
    </message>
</context>
<context>
    <name>QtDialogService</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>はい(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>いいえ(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>中止(&amp;A)</source>
        <translation>&amp;Abort</translation>
    </message>
    <message>
        <source>再試行(&amp;R)</source>
        <translation>&amp;Retry</translation>
    </message>
    <message>
        <source>無視(&amp;I)</source>
        <translation>&amp;Ignore</translation>
    </message>
    <message>
        <source>バージョン %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About Lumo</translation>
    </message>
    <message>
        <source>フォルダの選択</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>%1 でエラーが発生しました。</source>
        <translation>An error occurred in %1.</translation>
    </message>
</context>
<context>
    <name>ShellService</name>
    <message numerus="yes">
        <source>ほか %n 個のファイル</source>
        <translation>
            <numerusform>and %n more file</numerusform>
            <numerusform>and %n more files</numerusform>
        </translation>
    </message>
    <message>
        <source>次のファイルをごみ箱へ移動できませんでした。</source>
        <translation>These files could not be moved to the trash:</translation>
    </message>
    <message>
        <source>次のファイルはごみ箱の記録を書けず、元の場所へも戻せませんでした（ごみ箱の files フォルダにあります）。</source>
        <translation>These files lost their trash record and could not be put back either (they are in the trash&apos;s files folder):</translation>
    </message>
</context>
</TS>
