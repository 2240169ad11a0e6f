#include "engine/ExtractOutcome.h"

#include <string>

#include "engine/JobPaths.h"

namespace {

std::string PluginPart(const TFailure& failure) {
    return failure.Plugin.empty() ? std::string() : "プラグイン " + failure.Plugin;
}

std::string ReasonFor(const TFailure& failure) {
    switch (failure.Kind) {
        case TFailureKind::kNone:
            return "解凍しました";
        case TFailureKind::kNotFound:
            return failure.Plugin.empty() ? "見つかりません" : "見つかりません (" + PluginPart(failure) + ")";
        case TFailureKind::kNoPlugin: {
            std::string notes;
            if (!failure.Skipped.empty())
                notes = "2 回異常終了した " + failure.Skipped + " は使いません";
            if (!failure.Unusable.empty())
                notes += (notes.empty() ? "" : "、") + std::string("64 ビットの ") + failure.Unusable +
                         " はこの Windows では使えません";
            return notes.empty() ? "対応するプラグインがありません" : "対応するプラグインがありません (" + notes + ")";
        }
        case TFailureKind::kPluginIncomplete:
            return PluginPart(failure) + " に GetFileInfo か GetFile がありません";
        case TFailureKind::kPluginError: {
            std::string text = PluginPart(failure) + " がエラー " + std::to_string(failure.PluginCode) + " を返しました";
            if (const char* name = SusieCodeName(failure.PluginCode))
                text += std::string(" (") + name + ")";
            return text;
        }
        case TFailureKind::kShortBlock:
            return PluginPart(failure) + " の出力が予告より短すぎます";
        case TFailureKind::kCannotRead:
            return "読み込めません (" + Win32Message(failure.Win32Error) + ")";
        case TFailureKind::kCannotWrite:
            return "書き込めません (" + Win32Message(failure.Win32Error) + ")";
        case TFailureKind::kInternal:
            return "メモリーが足りないか、内部エラーです";
        case TFailureKind::kPluginCrashed:
            return PluginPart(failure) + " が異常終了しました";
        case TFailureKind::kPluginHung:
            return PluginPart(failure) + " の読み込みが応答しなくなりました";
        case TFailureKind::kHostEnded:
            // With an error, it never started.
            return failure.Win32Error ? "プラグインを動かすプロセスを起動できません (" + Win32Message(failure.Win32Error) + ")"
                                      : "プラグインを動かすプロセスが突然終了しました";
        case TFailureKind::kPathTooLong:
            return "パスが長すぎます (" + std::to_string(kMaxJobPath) + " バイトまで)";
        case TFailureKind::kDiskPathTooLong:
            return "ディスク上のパスが長すぎます (" + std::to_string(MAX_PATH - 1) + " 文字まで)";
        case TFailureKind::kNotKept:
            return "別のプロセスに渡した階層がもうありません";
        case TFailureKind::kTooLarge:
            return "大きすぎてメモリーに取り出せません (4 GiB 未満まで)";
        case TFailureKind::kNotInCodePage:
            return failure.File.empty() ? "名前にこのコードページにない文字があります"
                                        : "解凍先 " + failure.File + " の名前にこのコードページにない文字があります";
        case TFailureKind::kCanceled:
            return "中止しました";
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
    char text[512] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                    text, sizeof text, nullptr);
    // One line: no trailing line break or full stop.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' ||
                          text[length - 1] == '.'))
        --length;
    std::string message(text, length);
    for (char& c : message)
        if (c == '\r' || c == '\n')
            c = ' ';
    const std::string code = "エラー " + std::to_string(error);
    return message.empty() ? code : message + ", " + code;
}

std::string TExtractOutcome::Describe() const {
    std::string place = Container.empty() ? Component : Container + " の中の " + Component;
    return place + ": " + Reason();
}

std::string TExtractOutcome::Reason() const {
    return ReasonFor(Failure);
}
