// Failed jobs are told by a balloon from the tray icon: the source's name, then the reason.
// Failures that follow each other within a few seconds share one balloon, with their count and the
// latest reason; the icon's tip keeps a mark of them until the window is opened. Success stays
// quiet. Names and texts are UTF-8 here; the tray icon shows them wide.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "engine/ExtractOutcome.h"

struct TMessage;

// In the code page our texts are compiled in.
constexpr char kFailureTitle[] = "解凍できませんでした";

struct TBalloon {
    std::string Title;
    std::string Text;
};

// The counting and wording, apart from the window and the timer.
class TFailureNotice {
public:
    // Failures gather this long from the first one before their balloon shows.
    static constexpr UINT kGatherMs = 2000;

    // True when this failure starts a gathering: the caller starts the timer.
    bool Add(const std::string& source, const TExtractOutcome& outcome);
    // The gathering ended: the balloon for it, if any failure came.
    std::optional<TBalloon> TakeBalloon();
    int Unseen() const { return Unseen_; }
    void Seen() { Unseen_ = 0; }
    // The tray icon's tip: the program's name, and the mark while failures are unseen.
    std::string Tip() const;

private:
    int Gathered = 0;
    std::string Latest;
    int Unseen_ = 0;
};

void NoteFailure(HWND window, const std::string& source, const TExtractOutcome& outcome);
// IDT_FAILURES: the gathering has ended.
void ShowGatheredFailures(HWND window);
void OnShowWindow(HWND window, TMessage& message);
