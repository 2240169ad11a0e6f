#include "engine/ExtractOutcome.h"

#include <string>

#include "base/WideText.h"
#include "engine/JobPaths.h"

namespace {

// Our texts are compiled in code page 932; messages are UTF-8, as the names in them.
std::string T(std::string_view cp932) {
    return Utf8Text(cp932);
}

std::string PluginPart(const TFailure& failure) {
    return failure.Plugin.empty() ? std::string() : T("プラグイン ") + failure.Plugin;
}

std::string ReasonFor(const TFailure& failure) {
    switch (failure.Kind) {
        case TFailureKind::kNone:
            return T("解凍しました");
        case TFailureKind::kNotFound:
            return failure.Plugin.empty() ? T("見つかりません") : T("見つかりません (") + PluginPart(failure) + ")";
        case TFailureKind::kNoPlugin: {
            // Nothing was loaded at all: where it looked is what the user needs to know.
            if (!failure.File.empty() && failure.Unusable.empty())
                return T("プラグインが 1 つも読み込まれていません (探した場所: ") + failure.File +
                       T("。Kelvane のｵﾌﾟｼｮﾝで別のフォルダを指定できます)");
            std::string notes;
            if (!failure.Skipped.empty())
                notes = T("2 回異常終了した ") + failure.Skipped + T(" は使いません");
            if (!failure.Unusable.empty())
                notes += (notes.empty() ? "" : T("、")) + T("64 ビットの ") + failure.Unusable +
                         T(" はこの Windows では使えません");
            return notes.empty() ? T("対応するプラグインがありません") : T("対応するプラグインがありません (") + notes + ")";
        }
        case TFailureKind::kPluginIncomplete:
            return PluginPart(failure) + T(" に GetFileInfo か GetFile がありません");
        case TFailureKind::kPluginError: {
            std::string text = PluginPart(failure) + T(" がエラー ") + std::to_string(failure.PluginCode) + T(" を返しました");
            if (const char* name = SusieCodeName(failure.PluginCode))
                text += " (" + T(name) + ")";
            return text;
        }
        case TFailureKind::kShortBlock:
            return PluginPart(failure) + T(" の出力が予告より短すぎます");
        case TFailureKind::kCannotRead:
            return T("読み込めません (") + Win32Message(failure.Win32Error) + ")";
        case TFailureKind::kCannotWrite:
            return T("書き込めません (") + Win32Message(failure.Win32Error) + ")";
        case TFailureKind::kInternal:
            return T("メモリーが足りないか、内部エラーです");
        case TFailureKind::kPluginCrashed:
            return PluginPart(failure) + T(" が異常終了しました");
        case TFailureKind::kPluginHung:
            return PluginPart(failure) + T(" の読み込みが応答しなくなりました");
        case TFailureKind::kHostEnded:
            // With an error, it never started.
            return failure.Win32Error ? T("プラグインを動かすプロセスを起動できません (") + Win32Message(failure.Win32Error) + ")"
                                      : T("プラグインを動かすプロセスが突然終了しました");
        case TFailureKind::kPathTooLong:
            return T("パスが長すぎます (") + std::to_string(kMaxJobPath) + T(" バイトまで)");
        case TFailureKind::kDiskPathTooLong:
            return T("ディスク上のパスが長すぎます (") + std::to_string(MAX_PATH - 1) + T(" 文字まで)");
        case TFailureKind::kNotKept:
            return T("別のプロセスに渡した階層がもうありません");
        case TFailureKind::kTooLarge:
            return T("大きすぎてメモリーに取り出せません (4 GiB 未満まで)");
        case TFailureKind::kNotInCodePage:
            if (!failure.File.empty() && failure.Unusable.empty())
                return T("解凍先 ") + failure.File + T(" の名前にこのコードページにない文字があります");
            return failure.Plugin.empty() ? T("名前にこのコードページにない文字があります")
                                          : T("名前にこのコードページにない文字があります (") + PluginPart(failure) + ")";
        case TFailureKind::kAmbiguousName:
            return PluginPart(failure) + T(" ではこの名前の項目が一つに決まりません");
        case TFailureKind::kUnusableName:
            return T("この名前ではファイルを作れません");
        case TFailureKind::kClimbingMember:
            return PluginPart(failure) + T(" はこの項目をメモリーに取り出せず、ディスクへはフォルダの外を指す名前で書き出すため使いません");
        case TFailureKind::kNoListing:
            return PluginPart(failure) + T(" は一覧を出せません (名前を指定した項目は解凍できます)");
        case TFailureKind::kCanceled:
            return T("中止しました");
    }
    return {};
}

}  // namespace

const char* SusieCodeName(int code) {
    switch (code) {
        case -1:
            return "その機能はありません";
        case 1:
            return "中断されました";
        case 2:
            return "未知の形式です";
        case 3:
            return "データが壊れています";
        case 4:
            return "メモリーが確保できません";
        case 5:
            return "メモリーエラー";
        case 6:
            return "ファイル読み込みエラー";
        case 7:
            return "ウィンドウが開けません";
        case 8:
            return "内部エラー";
        case 9:
            return "ファイル書き込みエラー";
        case 10:
            return "ファイルの終端です";
        default:
            return nullptr;
    }
}

std::string Win32Message(DWORD error) {
    wchar_t text[512] = {};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                    text, 512, nullptr);
    // One line: no trailing line break or full stop.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.'))
        --length;
    std::string message;
    ExactUtf8(std::wstring_view(text, length), message);
    for (char& c : message)
        if (c == '\r' || c == '\n')
            c = ' ';
    const std::string code = Utf8Text("エラー ") + std::to_string(error);
    return message.empty() ? code : message + ", " + code;
}

std::string TExtractOutcome::Describe() const {
    std::string place = Container.empty() ? Component : Container + Utf8Text(" の中の ") + Component;
    return place + ": " + Reason();
}

std::string TExtractOutcome::Reason() const {
    return ReasonFor(Failure);
}
