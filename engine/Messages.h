// Every user-visible text of the engine, in one place so tests can compare against it.
#pragma once

#include <string>
#include <string_view>

#include "JpegError.h"

namespace tarvo {

inline constexpr std::string_view kMsgStreamReadError = "ストリームからの読み込みエラー";
inline constexpr std::string_view kMsgStreamWriteError = "ストリームへの書き込みエラー";
inline constexpr std::string_view kMsgCannotOpenFile = "ファイル %s は開けません";
inline constexpr std::string_view kMsgCannotCreateFile = "ファイル %s を作成できません";
// A file that held fewer bytes when read than its size said a moment before: it was cut off
// while being read.
inline constexpr std::string_view kMsgFileShrank = "ファイル %s は読み込み中に短くなりました";
// An output is written beside itself first: a folder that takes no new file is what refuses it,
// however writable the file.
inline constexpr std::string_view kMsgCannotWriteFolder =
    "フォルダ %s にファイルを作成できないため、%s を書き込めません";

// A marker met inside entropy-coded data.
inline constexpr std::string_view kMsgBitStream = "ビットストリームが正しく読みとれませんでした。";

// Analysis of the marker segments.
inline constexpr std::string_view kMsgNoSoi = "JPEGファイルの開始のヘッダ($FFD8)を認識できません";
inline constexpr std::string_view kMsgUnknownMarker = "ヘッダ($%s)を認識できませんでした。";

// The trim's own reports.
inline constexpr std::string_view kMsgTrimNoSoi =
    "致命的エラー : JPEGファイルの開始のヘッダ($FFD8)を認識できません";
inline constexpr std::string_view kMsgTrimUnknownMarker =
    "致命的エラー : ヘッダ($%s)を認識できません";
// "\r" is one carriage return: the window shows the text on two lines.
inline constexpr std::string_view kMsgHuffmanBlock =
    "ハフマンブロックが正しく読み出せませんでした。\r処理を終了します";

// Malformed or unsupported structures the tables of the engine have no room for.
inline constexpr std::string_view kMsgBadDht = "ハフマンテーブル(DHT)の内容が正しくありません。";
inline constexpr std::string_view kMsgBadSof0 = "フレームヘッダ(SOF0)の内容が正しくありません。";
inline constexpr std::string_view kMsgSecondFrame = "フレームヘッダ(SOF0)が複数あります。";
// Frames whose components the engine cannot take, each for its own reason.
inline constexpr std::string_view kMsgComponentCount =
    "成分の数が1から4でないJPEGファイルは処理できません。";
inline constexpr std::string_view kMsgDuplicateComponentId =
    "成分の識別子が重複しているJPEGファイルは処理できません。";
inline constexpr std::string_view kMsgBadSampling =
    "成分のサンプリング係数が正しくありません(1から4、1つのMCUに10ブロックまで)。";
inline constexpr std::string_view kMsgBadQuantSelector =
    "成分の量子化テーブルの番号が正しくありません。";
inline constexpr std::string_view kMsgNotEightBit =
    "サンプルの精度が8ビットでないJPEGファイルは処理できません。";
inline constexpr std::string_view kMsgZeroSize = "画像の幅または高さが0のため、処理できません。";
inline constexpr std::string_view kMsgBadDac =
    "算術符号化の条件付けテーブル(DAC)の内容が正しくありません。";
inline constexpr std::string_view kMsgBadDqt = "量子化テーブル(DQT)の内容が正しくありません。";
inline constexpr std::string_view kMsgQuantRedefined =
    "スキャンで使われた量子化テーブル(DQT)が後から定義し直されているため、処理できません。";
inline constexpr std::string_view kMsgNoDht =
    "スキャンの成分が使うハフマンテーブル(DHT)が定義されていません。";
inline constexpr std::string_view kMsgNoDqt =
    "スキャンの成分が使う量子化テーブル(DQT)が定義されていません。";
inline constexpr std::string_view kMsgTooLarge =
    "画像の幅または高さが65500画素を超えているため、処理できません。";
inline constexpr std::string_view kMsgBadSos = "スキャンヘッダ(SOS)の内容が正しくありません。";
inline constexpr std::string_view kMsgTooManyScans =
    "スキャンの数が500を超えているため、処理できません。";
inline constexpr std::string_view kMsgComponentNotCoded =
    "どのスキャンにも含まれない成分があるため、処理できません。";
// Codings the engine does not decode (ITU-T T.81 Table B.1).
inline constexpr std::string_view kMsgLossless = "ロスレス形式のJPEGファイルは処理できません。";
inline constexpr std::string_view kMsgHierarchical =
    "階層型(ハイアラーキカル)のJPEGファイルは処理できません。";
inline constexpr std::string_view kMsgBadSegmentLength =
    "ヘッダの長さが正しくないか、ファイルの終わりを越えています。";
inline constexpr std::string_view kMsgBadTail =
    "画像データの後にEOI($FFD9)以外のデータがあるため、処理できません。";
inline constexpr std::string_view kMsgScanTooShort =
    "画像データが画像の大きさに比べて短すぎます。ファイルが途中で切れているようです。";
// A component no scan codes still needs its table in the trim's header (progressive frames
// may leave a component uncoded).
inline constexpr std::string_view kMsgNoFrameDqt =
    "成分が使う量子化テーブル(DQT)がファイルのどこにも定義されていません。";

// What the engine read past in a damaged file, as libjpeg does, to read it on.
inline constexpr std::string_view kMsgExtraneousBytes =
    "%sバイトの余分なデータを読み飛ばしました。";
inline constexpr std::string_view kMsgEmptySegmentSkipped =
    "長さが正しくないセグメント($%s)を読み飛ばしました。";
// A file cut off inside its coded data: the picture's height, then the rows a trim may reach.
inline constexpr std::string_view kMsgCutOff =
    "ファイルが途中で切れています。トリミングできるのは全%s行のうち上から%s行までです。";
// A scan read as far as it could be: its data hold something out of place (bytes a block does
// not take, a marker, a code no table has) below the rows a trim may reach, told as kMsgCutOff.
inline constexpr std::string_view kMsgDamagedScan =
    "画像データが壊れています。トリミングできるのは全%s行のうち上から%s行までです。";

// Trim requests the engine cannot carry out.
inline constexpr std::string_view kMsgRectOutside =
    "切り出す範囲が画像の外にあるか、幅または高さが0です。";
// A cut that takes blocks of a restart interval whose data cannot be read, those pixels from
// left, top to right, bottom (1-based, inclusive, as the status bar shows a range).
inline constexpr std::string_view kMsgDamagedRegion =
    "切り出す範囲にデータが壊れている部分([%s,%s] - [%s,%s])が含まれるため、切り出せません。";
inline constexpr std::string_view kMsgBeyondCutOff =
    "ファイルが途中で切れているため、トリミングできるのは上から%s行目までです。";
inline constexpr std::string_view kMsgBeyondDamage =
    "画像データが壊れているため、トリミングできるのは上から%s行目までです。";
// A DC difference or coefficient beyond the 15 magnitude bits a Huffman symbol can name.
inline constexpr std::string_view kMsgUncodableCoefficient =
    "係数の値が大きすぎて符号化できないため、切り出せませんでした。";
// A mirror or turn needs one whole MCU to bring to the left or top.
inline constexpr std::string_view kMsgTooSmallToTurn =
    "画像が1つのMCUより小さいため、回転・反転できません。";
inline constexpr std::string_view kMsgOutOfMemory = "メモリが足りないため、処理できませんでした。";

// Replaces the first "%s" of pattern with argument.
std::string FormatMessage(std::string_view pattern, std::string_view argument);

// The words for a failed status. A trim that meets a file its analysis refused words a missing
// SOI and an unknown marker as fatal (trimWording).
std::string MessageText(const TJpegStatus& status, bool trimWording = false);
// The words for what the engine read past.
std::string MessageText(const TJpegWarning& warning);

}  // namespace tarvo
