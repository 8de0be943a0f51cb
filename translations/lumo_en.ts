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
    <name>CompareFacts</name>
    <message>
        <source>画素数</source>
        <translation>Pixels</translation>
    </message>
    <message>
        <source>ファイルサイズ</source>
        <translation>File size</translation>
    </message>
    <message>
        <source>品質</source>
        <translation>Quality</translation>
    </message>
    <message>
        <source>約%1</source>
        <translation>about %1</translation>
    </message>
    <message>
        <source>精細度</source>
        <translation>Detail</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>撮影日時</source>
        <translation>Taken</translation>
    </message>
    <message>
        <source>機種</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>元の品質</source>
        <translation>First saved at</translation>
    </message>
</context>
<context>
    <name>ComparePane</name>
    <message>
        <source>表示不可</source>
        <translation>Cannot show</translation>
    </message>
</context>
<context>
    <name>NotAlikeDialog</name>
    <message>
        <source>似ていない組み合わせのファイル %1 を読み書きできません</source>
        <translation>Cannot read or write the file of not-alike pairs, %1</translation>
    </message>
    <message>
        <source>似ていない組み合わせのファイルを読めませんでした。%1 として残し、新しく記録を始めます</source>
        <translation>The file of not-alike pairs could not be read. It is kept as %1, and a new record begins</translation>
    </message>
    <message>
        <source>似ていない組み合わせ</source>
        <translation>Not-alike pairs</translation>
    </message>
    <message>
        <source>忘れる</source>
        <translation>Forget</translation>
    </message>
    <message>
        <source>すべて忘れる</source>
        <translation>Forget all</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>記録したすべての似ていない組み合わせを忘れますか？</source>
        <translation>Forget every recorded not-alike pair?</translation>
    </message>
    <message>
        <source>似ていない組み合わせの保存中にエラーが発生しました</source>
        <translation>An error occurred while saving the not-alike pairs</translation>
    </message>
    <message>
        <source>似ていない組み合わせのファイルの壊れた記録 %1 件を除き、残りを読み込みました</source>
        <translation>Dropped %1 damaged records of the not-alike pairs file and read the rest</translation>
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
    <name>ProtectedFoldersDialog</name>
    <message>
        <source>保護フォルダ</source>
        <translation>Protected folders</translation>
    </message>
    <message>
        <source>これらのフォルダとその中のフォルダにある画像は選択されません</source>
        <translation>Pictures in these folders and their subfolders are never selected</translation>
    </message>
    <message>
        <source>追加...</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
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
    <name>SamGeometry</name>
    <message>
        <source>%1を表示中...(%2/%3)</source>
        <translation>Showing %1… (%2/%3)</translation>
    </message>
    <message>
        <source>%1を比較中...(%2/%3)</source>
        <translation>Comparing %1… (%2/%3)</translation>
    </message>
    <message>
        <source> [回転・反転]</source>
        <translation> [turned, mirrored]</translation>
    </message>
    <message>
        <source> [グレー]</source>
        <translation> [grey]</translation>
    </message>
    <message>
        <source>左右反転</source>
        <translation>mirrored</translation>
    </message>
    <message>
        <source>%1°回転</source>
        <translation>turned %1°</translation>
    </message>
    <message>
        <source>・</source>
        <translation>, </translation>
    </message>
    <message>
        <source>(グレー)</source>
        <translation>(grey)</translation>
    </message>
    <message>
        <source> 品質 約%1</source>
        <translation> quality about %1</translation>
    </message>
    <message>
        <source> 撮影 %1</source>
        <translation> taken %1</translation>
    </message>
    <message>
        <source> 元の品質 約%1</source>
        <translation> first saved at about %1</translation>
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
        <source>ごみ箱へ移動中...</source>
        <translation>Moving to the trash...</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>ごみ箱へ移動</source>
        <translation>Moving to the trash</translation>
    </message>
    <message>
        <source>ごみ箱のフォルダ %1 は他のユーザーにも開かれています。権限を 0700 にしてください（chmod 700 %1）。</source>
        <translation>The trash folder %1 is open to other users. Make it 0700 (chmod 700 %1).</translation>
    </message>
    <message>
        <source>ごみ箱のフォルダ %1 は他のユーザーのものです。自分のフォルダ（権限 0700）にしてください。</source>
        <translation>The trash folder %1 belongs to another user. It must be a folder of your own, mode 0700.</translation>
    </message>
    <message>
        <source>ごみ箱のフォルダ %1 はリンクです。自分のフォルダ（権限 0700）にしてください。</source>
        <translation>The trash folder %1 is a link. Make it a folder of your own, mode 0700.</translation>
    </message>
    <message>
        <source>%1 はフォルダではありません。自分のフォルダ（権限 0700）にしてください。</source>
        <translation>%1 is not a folder. Make it a folder of your own, mode 0700.</translation>
    </message>
</context>
<context>
    <name>frmCompare</name>
    <message>
        <source>比較 - %1/%2</source>
        <translation>Compare - %1/%2</translation>
    </message>
    <message>
        <source> (最後のグループです)</source>
        <translation> (the last group)</translation>
    </message>
</context>
<context>
    <name>frmLumo</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>類似レベル</source>
        <translation>Similarity level</translation>
    </message>
    <message>
        <source>保存</source>
        <comment>status panel: there are unsaved changes</comment>
        <translation>Unsaved</translation>
    </message>
    <message>
        <source>実行中です。中止しますか</source>
        <translation>A command is running. Stop it?</translation>
    </message>
    <message numerus="yes">
        <source>%n個のファイル</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message>
        <source>追加中...</source>
        <translation>Adding…</translation>
    </message>
    <message>
        <source>追加完了</source>
        <translation>Added</translation>
    </message>
    <message>
        <source>追加完了（32767個を超えた分は次のカタログファイルに保存します）</source>
        <translation>Added (the pictures past 32,767 go into the next catalogue file)</translation>
    </message>
    <message>
        <source>%1（全%2ファイル）</source>
        <translation>%1 (%2 files in all)</translation>
    </message>
    <message>
        <source>追加中止</source>
        <translation>Adding stopped</translation>
    </message>
    <message numerus="yes">
        <source>ファイル名を読めないため追加できなかったファイル: %n個</source>
        <translation>
            <numerusform>Not added because its name could not be read: %n file</numerusform>
            <numerusform>Not added because their names could not be read: %n files</numerusform>
        </translation>
    </message>
    <message>
        <source>これ以上追加できません</source>
        <translation>No more pictures can be added</translation>
    </message>
    <message>
        <source>保存中...</source>
        <translation>Saving…</translation>
    </message>
    <message>
        <source>現在のファイルを保存しますか？</source>
        <translation>Save the current catalogue?</translation>
    </message>
    <message>
        <source>保存完了</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>保存中にエラーが発生しました</source>
        <translation>An error occurred while saving</translation>
    </message>
    <message>
        <source>新規</source>
        <translation>New</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>View</translation>
    </message>
    <message>
        <source>類似</source>
        <translation>Similar</translation>
    </message>
    <message>
        <source>一覧</source>
        <translation>List</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>新規(&amp;N)</source>
        <translation>&amp;New</translation>
    </message>
    <message>
        <source>開く(&amp;O)</source>
        <translation>&amp;Open…</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Se&amp;ttings…</translation>
    </message>
    <message>
        <source>終了(&amp;Q)</source>
        <translation>&amp;Quit</translation>
    </message>
    <message>
        <source>一覧(&amp;L)</source>
        <translation>&amp;List</translation>
    </message>
    <message>
        <source>フォルダごと追加</source>
        <translation>Add &amp;folder…</translation>
    </message>
    <message>
        <source>追加(&amp;A)</source>
        <translation>&amp;Add pictures…</translation>
    </message>
    <message>
        <source>削除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>最適化</source>
        <translation>&amp;Optimise</translation>
    </message>
    <message>
        <source>画像(&amp;J)</source>
        <translation>&amp;Pictures</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>類似検索</source>
        <translation>Find &amp;similar</translation>
    </message>
    <message>
        <source>一覧表示</source>
        <translation>Show &amp;all</translation>
    </message>
    <message>
        <source>回転・反転した画像も探す(&amp;T)</source>
        <translation>Also find &amp;turned and mirrored pictures</translation>
    </message>
    <message>
        <source>色の違いを無視する(&amp;G)</source>
        <translation>Ignore colour (compare in &amp;grey)</translation>
    </message>
    <message>
        <source>選択した画像に似た画像を探す(&amp;L)</source>
        <translation>Find &amp;look-alikes of the selected pictures</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About Lumo</translation>
    </message>
    <message>
        <source>類似検索中...</source>
        <translation>Finding similar pictures…</translation>
    </message>
    <message>
        <source>類似検索終了</source>
        <translation>Similar pictures found</translation>
    </message>
    <message>
        <source>一覧表示中...</source>
        <translation>Showing all pictures…</translation>
    </message>
    <message>
        <source>一覧表示完了</source>
        <translation>All pictures shown</translation>
    </message>
    <message>
        <source>削除中...</source>
        <translation>Deleting…</translation>
    </message>
    <message>
        <source>リストから削除します。実際のファイルも削除しますか？</source>
        <translation>Delete from the list. Move the files to the trash too?</translation>
    </message>
    <message>
        <source>削除完了</source>
        <translation>Deleted</translation>
    </message>
    <message>
        <source>削除中にエラーが発生しました</source>
        <translation>An error occurred while deleting</translation>
    </message>
    <message>
        <source>ファイル名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>パス</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>サイズ</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>類似レベルが小さい程厳しい条件になります</source>
        <translation>The lower the similarity level, the stricter the match</translation>
    </message>
    <message numerus="yes">
        <source>%n個の画像を選択しました</source>
        <translation>
            <numerusform>%n picture selected</numerusform>
            <numerusform>%n pictures selected</numerusform>
        </translation>
    </message>
    <message>
        <source>読込中...</source>
        <translation>Opening…</translation>
    </message>
    <message>
        <source>読込中にエラーが発生しました</source>
        <translation>An error occurred while opening</translation>
    </message>
    <message>
        <source>読込完了</source>
        <translation>Opened</translation>
    </message>
    <message>
        <source>最適化中...</source>
        <translation>Optimising…</translation>
    </message>
    <message>
        <source>最適化完了</source>
        <translation>Optimised</translation>
    </message>
    <message>
        <source>新規 %1個、登録済み %2個</source>
        <translation>%1 new, %2 already listed</translation>
    </message>
    <message>
        <source>選択された画像はありません。</source>
        <translation>No picture is selected.</translation>
    </message>
    <message numerus="yes">
        <source>対象は%n個の画像です:</source>
        <translation>
            <numerusform>%n picture:</numerusform>
            <numerusform>%n pictures:</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>…他%n件</source>
        <translation>
            <numerusform>…and %n more</numerusform>
            <numerusform>…and %n more</numerusform>
        </translation>
    </message>
    <message>
        <source>「はい」: ファイルもごみ箱へ移動します</source>
        <translation>Yes: the files go to the trash too</translation>
    </message>
    <message>
        <source>「いいえ」: リストからのみ削除し、ファイルは残します</source>
        <translation>No: delete from the list only, keep the files</translation>
    </message>
    <message numerus="yes">
        <source>ファイルのない%n個を除外しました</source>
        <translation>
            <numerusform>Dropped %n entry whose file is gone</numerusform>
            <numerusform>Dropped %n entries whose files are gone</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>削除を終了しました（%n個の画像は残っています）</source>
        <translation>
            <numerusform>Deletion ended (%n picture kept)</numerusform>
            <numerusform>Deletion ended (%n pictures kept)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>frmSam</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>中止しますか？</source>
        <translation>Stop now?</translation>
    </message>
    <message>
        <source>ドロップしたファイルに画像がありません</source>
        <translation>None of the dropped files is a picture</translation>
    </message>
    <message>
        <source>比較(&amp;M)...</source>
        <translation>Co&amp;mpare…</translation>
    </message>
    <message>
        <source>似ていない画像にする(&amp;N)</source>
        <translation>Mark as &amp;not alike</translation>
    </message>
    <message>
        <source>このグループは似ていない(&amp;G)</source>
        <translation>This &amp;group is not alike</translation>
    </message>
    <message>
        <source>似ていない組み合わせ(&amp;L)...</source>
        <translation>&amp;List of not-alike pairs…</translation>
    </message>
    <message>
        <source>似ていない画像の記録中にエラーが発生しました</source>
        <translation>An error occurred while recording the not-alike pictures</translation>
    </message>
    <message>
        <source>似ていない画像として記録しました</source>
        <translation>Recorded as not alike</translation>
    </message>
    <message>
        <source>ファイル</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>画質の良い画像を残す(&amp;Q)</source>
        <translation>Keep the best &amp;quality</translation>
    </message>
    <message>
        <source>画素数の多い画像を残す(&amp;P)</source>
        <translation>Keep the most &amp;pixels</translation>
    </message>
    <message>
        <source>ファイルサイズの大きい画像を残す(&amp;S)</source>
        <translation>Keep the largest file &amp;size</translation>
    </message>
    <message>
        <source>更新日時の新しい画像を残す(&amp;N)</source>
        <translation>Keep the &amp;newest</translation>
    </message>
    <message>
        <source>更新日時の古い画像を残す(&amp;O)</source>
        <translation>Keep the &amp;oldest</translation>
    </message>
    <message>
        <source>基準画像を残す(&amp;B)</source>
        <translation>Keep the &amp;base picture</translation>
    </message>
    <message>
        <source>選択を解除(&amp;C)</source>
        <translation>&amp;Clear the selection</translation>
    </message>
    <message>
        <source>保護フォルダ(&amp;F)...</source>
        <translation>Protected &amp;folders…</translation>
    </message>
    <message>
        <source>選択(&amp;S)</source>
        <translation>&amp;Select</translation>
    </message>
    <message>
        <source>ファイルがありません</source>
        <translation>The file is missing</translation>
    </message>
</context>
<context>
    <name>frmSet</name>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>カラム数</source>
        <translation>Columns</translation>
    </message>
    <message>
        <source>横サイズ(&amp;W)</source>
        <translation>&amp;Width</translation>
    </message>
    <message>
        <source>縦サイズ(&amp;H)</source>
        <translation>&amp;Height</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>JPEG以外の画像も追加する (HEIC, AVIF, PNG, WebP, TIFF, RAW)</source>
        <translation>Also add pictures other than JPEG (HEIC, AVIF, PNG, WebP, TIFF, RAW)</translation>
    </message>
    <message>
        <source>表示言語(&amp;L)</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>自動（デスクトップの言語）</source>
        <translation>Automatic (the desktop&apos;s)</translation>
    </message>
    <message>
        <source>次回の起動から有効になります</source>
        <translation>Takes effect at the next start</translation>
    </message>
    <message>
        <source>入力が不正です</source>
        <translation>Invalid input</translation>
    </message>
</context>
<context>
    <name>frmView</name>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>表示不可</source>
        <translation>Cannot show</translation>
    </message>
</context>
</TS>
