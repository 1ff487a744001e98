// Every user-visible text of the main window and the document, in one place.
#pragma once

namespace tarvo {

inline constexpr char kAppTitle[] = "tarvo";
inline constexpr char kMainCaption[] = "JPEGファイル切り出しプログラム - tarvo -";

inline constexpr char kCaptionWarning[] = "警告";
inline constexpr char kCaptionError[] = "エラー";
inline constexpr char kButtonYes[] = "はい(&Y)";
inline constexpr char kButtonNo[] = "いいえ(&N)";
inline constexpr char kButtonCancel[] = "キャンセル";
inline constexpr char kButtonOk[] = "OK";

// The two lines of the close question; message boxes break lines at '\n'.
inline constexpr char kMsgModified[] = "変更があります。\nファイルに保存しますか？";
inline constexpr char kMsgSaveOver[] = "上書き保存します。よろしいですか？";
inline constexpr char kMsgFileExists[] = "ファイルは既に存在します。上書きしてよろしいですか？";
inline constexpr char kMsgCannotProcess[] = "処理を行うことが出来ません。";
// A picture whose pixels do not fit in memory; %1 x %2 is its frame in pixels.
inline constexpr char kMsgPictureTooLarge[] = "画像が大きすぎて表示できません (%1 x %2 ピクセル)";
// The status bar while a large picture is decoded, while a trim or undo runs, and while a turn
// or mirror does.
inline constexpr char kMsgReadingPicture[] = "画像を読み込んでいます...";
inline constexpr char kMsgTrimming[] = "トリミングしています...";
inline constexpr char kMsgTurning[] = "回転・反転しています...";
inline constexpr char kMsgWiping[] = "塗りつぶしています...";
// The status bar after a copy until the PNG that programs without JPEG paste is offered.
inline constexpr char kMsgMakingPng[] = "貼り付け用のPNGを作成しています...";

// "選択範囲を塗りつぶす" and its fills, and what a mosaic leaves to be read, shown with it in the
// menu and after a mosaic is made. Keyboard users reach the fills with Alt+E, W and a letter.
inline constexpr char kMenuWipe[] = "選択範囲を塗りつぶす(&W)";
inline constexpr char kMenuWipeGrey[] = "灰色(&G)";
inline constexpr char kMenuWipeFlat[] = "平均色(&A)";
inline constexpr char kMenuWipeMosaic[] = "モザイク(&M)";
inline constexpr char kMsgMosaicReversible[] =
    "モザイクは一部を復元できることがあります。個人情報を隠すには灰色か平均色を使ってください。";

// After the status bar's path and size while the picture shown has damaged parts, which the view
// hatches; and after a selection's size while it takes any of them.
inline constexpr char kMsgDamagedParts[] =
    "  データが壊れている部分(斜線)があります。Ctrl+Aで壊れていない部分を選択できます。";
inline constexpr char kMsgSelectionDamaged[] = "  壊れている部分を含むため切り出せません";

// What a turn or mirror cut off: kMsgTurnDropped with one kTurnDroppedEdge per edge (the edge's
// name, then the pixels), joined by kTurnDroppedJoin.
inline constexpr char kMsgTurnDropped[] = "回転・反転で%1を切り落としました。";
inline constexpr char kTurnDroppedEdge[] = "%1端の%2ピクセル";
inline constexpr char kTurnDroppedJoin[] = "と";
inline constexpr char kEdgeLeft[] = "左";
inline constexpr char kEdgeRight[] = "右";
inline constexpr char kEdgeTop[] = "上";
inline constexpr char kEdgeBottom[] = "下";

// What reading a file found and what a trim refused, worded as the picture shows it: where the
// top rows of a stored picture show as columns, rows become columns (kUnitColumns) at the edge
// they show at. %1 the picture's rows (or columns), %2 the edge, %3 those that arrived, %4 the
// unit.
inline constexpr char kMsgCutOffShown[] =
    "ファイルが途中で切れています。トリミングできるのは全%1%4のうち%2から%3%4までです。";
// %1 the edge, %2 the rows (or columns) a trim may reach, %3 the unit.
inline constexpr char kMsgBeyondCutOffShown[] =
    "ファイルが途中で切れているため、トリミングできるのは%1から%2%3目までです。";
// As the two above, for a scan that could not be read on past some row.
inline constexpr char kMsgDamagedScanShown[] =
    "画像データが壊れています。トリミングできるのは全%1%4のうち%2から%3%4までです。";
inline constexpr char kMsgBeyondDamageShown[] =
    "画像データが壊れているため、トリミングできるのは%1から%2%3目までです。";
inline constexpr char kUnitRows[] = "行";
inline constexpr char kUnitColumns[] = "列";
// Several runs of stray bytes in one file: %1 runs, %2 bytes in all.
inline constexpr char kMsgStrayBytes[] =
    "%1か所で合わせて%2バイトの余分なデータを読み飛ばしました。";

// The file dialogs list .jpg in every letter case, .jpeg, .jpe and the multi-picture .mpo too,
// but show only the first group; every file is the second filter.
inline constexpr char kJpegFilter[] =
    "画像ファイル (*.JPG) (*.JPG *.jpg *.JPEG *.jpeg *.Jpg *.Jpeg *.JPE *.jpe *.Jpe *.MPO *.mpo "
    "*.Mpo)";
inline constexpr char kAllFilesFilter[] = "すべてのファイル (*)";
inline constexpr char kJpegSuffix[] = "jpg";

inline constexpr char kReadmeName[] = "readme.txt";
// "トピックの検索" without a guide, or without a program that opens it; %1 names the file.
inline constexpr char kMsgReadmeMissing[] = "ヘルプファイル %1 が見つかりません。";
inline constexpr char kMsgReadmeNotOpened[] =
    "ヘルプファイルを開くプログラムが見つかりません。\n%1";

}  // namespace tarvo
