#include "app/PluginStateText.h"

#include "base/WideText.h"

namespace {

std::string T(std::string_view cp932) {
    return Utf8Text(cp932);
}

std::string With(const char* state, const std::string& why) {
    return why.empty() ? T(state) : T(state) + " (" + why + ")";
}

std::string NotLoadableWhy(const TPluginRow& row) {
    switch (row.AskFailure) {
        case TFailureKind::kPluginCrashed:
            return T("問い合わせ中に異常終了しました");
        case TFailureKind::kPluginHung:
            return T("読み込みが終わりません");
        case TFailureKind::kHostEnded:
            return T("プラグインホストを起動できません");
        default:
            return Win32Message(row.Facts.LoadError);
    }
}

std::string NotArchiveWhy(const TPluginFacts& facts) {
    if (!facts.HasInfo)
        return T("GetPluginInfo がありません");
    if (facts.Type != "00AM")
        return T("種類 ") + facts.Type;
    return T("IsSupported がありません");
}

std::string LearntWhy(TLearnt learnt) {
    switch (learnt) {
        case TLearnt::kCrashed:
            return T("2 回異常終了しました");
        case TLearnt::kHung:
            return T("読み込みが止まりました");
        case TLearnt::kCrashedOnMemory:
            return T("メモリー上のアーカイブで異常終了しました");
        case TLearnt::kRefusesMemory:
            return T("メモリー上のアーカイブを受け付けません");
    }
    return {};
}

}  // namespace

std::string SourceText(TFolderSource source) {
    switch (source) {
        case TFolderSource::kKelvane:
            return T("Kelvane で選んだフォルダ");
        case TFolderSource::kSusie:
            return T("Susie の設定のフォルダ");
        case TFolderSource::kBeside:
            return T("Kelvane.exe と同じ場所の plugins フォルダ");
    }
    return {};
}

std::string StateText(const TPluginRow& row) {
    if (!row.Answered)
        return T("確認中...");
    switch (row.State()) {
        case TPluginState::kLoaded:
            return T("読み込み済み");
        case TPluginState::kOff:
            return With("オフ", row.Switch == TSwitch::kOffInSusie ? T("Susie の設定") : T("Kelvane の設定"));
        case TPluginState::kLeftOut:
            return With("除外", LearntWhy(*row.Learnt));
        case TPluginState::kGivenCopies:
            return With("一時ファイル経由", LearntWhy(*row.Learnt));
        case TPluginState::kNotArchive:
            return With("アーカイブ用ではありません", NotArchiveWhy(row.Facts));
        case TPluginState::kNotLoadable:
            return With("読み込めません", NotLoadableWhy(row));
    }
    return {};
}

std::string FormatsText(const TPluginRow& row) {
    std::string text;
    for (const TFileFormat& format : row.Facts.Formats) {
        text += (text.empty() ? "" : "; ") + format.Pattern;
        if (!format.Description.empty())
            text += " (" + format.Description + ")";
    }
    return text;
}
