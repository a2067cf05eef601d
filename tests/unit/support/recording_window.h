#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/ui_texts.h"
#include "sequencer/progress_window.h"
#include "sequencer/update_sequencer.h"
#include "support/wait_tasks.h"

// A progress window that keeps, in order, one short line for each operation
// the sequencer applies to it ("arm 30", "step 20", "message M5 stop",
// "end 0"), and the state a real window would show: the bar's position (10 a
// step, as the control's default step is), the timer, the cancel button.
class RecordingWindow : public ProgressWindow {
  public:
    // Runs while a message is "up", as a modal message box dispatches window
    // messages: a test puts there what the user or the system might do then.
    std::function<void()> whileMessageUp;

    void SetStatusText(StatusText status) override {
        statusTexts.push_back(StatusTextOf(status));
        Record(std::string("status ") + StatusName(status));
    }
    void StepProgress() override {
        position += 10;
        Record("step " + std::to_string(position));
    }
    void ResetProgress() override {
        positionBeforeReset = position;
        position = 0;
        Record("reset");
    }
    void DisableCancel() override {
        cancelEnabled = false;
        Record("disable cancel");
    }
    void ArmTimer(int intervalMs) override {
        timerArmed = true;
        armedIntervals.push_back(intervalMs);
        Record("arm " + std::to_string(intervalMs));
    }
    void KillTimer() override {
        timerArmed = false;
        Record("kill");
    }
    void ShowOutcome(const UpdateOutcome& outcome) override {
        const UpdateMessage message = outcome.message;
        outcomes.push_back(outcome);
        messages.push_back(message);
        messageTexts.push_back(MessageText(message));
        if (timerArmed) {
            timerArmedAtMessage = true;
        }
        Record(std::string("message ") + MessageName(message) + " " +
               IconName(MessageIconOf(message)));
        // Once: were the sequencer to show a second message, it shows in the
        // trace instead of recursing.
        if (whileMessageUp) {
            const std::function<void()> meanwhile = std::move(whileMessageUp);
            whileMessageUp = nullptr;
            meanwhile();
        }
    }
    void EndWindow(int result) override {
        ++endCount;
        endResult = result;
        Record("end " + std::to_string(result));
    }

    // Not a window operation: where the window is destroyed, in the trace.
    void MarkDestroyed() { Record("destroyed"); }

    bool ended() const { return endCount > 0; }

    static const char* MessageName(UpdateMessage message) {
        static const char* const kNames[] = {"M1", "M2", "M3", "M4", "M5", "M6", "M7"};
        return kNames[static_cast<int>(message)];
    }
    static const char* IconName(MessageIcon icon) {
        switch (icon) {
            case MessageIcon::None:
                return "none";
            case MessageIcon::Exclamation:
                return "exclamation";
            case MessageIcon::Stop:
                return "stop";
        }
        return "?";
    }
    static const char* StatusName(StatusText status) {
        static const char* const kNames[] = {"S1", "S2", "S3"};
        return kNames[static_cast<int>(status)];
    }

    std::vector<std::string> trace;
    std::vector<int> armedIntervals;
    std::vector<UpdateMessage> messages;
    std::vector<UpdateOutcome> outcomes;
    std::vector<std::string> messageTexts;
    std::vector<std::string> statusTexts;
    int position = 0;  // as the sequencer leaves it: never clamped, so an overrun shows
    int highestPosition = 0;
    int positionBeforeReset = -1;
    bool timerArmed = false;
    bool timerArmedAtMessage = false;
    bool cancelEnabled = true;
    int endCount = 0;
    int endResult = -1;

  private:
    void Record(std::string line) {
        if (position > highestPosition) {
            highestPosition = position;
        }
        trace.push_back(std::move(line));
    }
};

// Plays the window's timer from Start to Teardown: a tick whenever the timer
// is armed, at once (the interval is recorded, not slept: the receives wait
// for real), with the messages posted meanwhile dispatched between ticks.
// `beforeTick` and `afterTick`, when given, run around each tick as whatever
// the user does between ticks would. A window that neither ends nor arms its
// timer, or runs past `tickLimit` ticks, fails the test rather than hangs it.
// Returns what Start returned.
inline bool PlayWindow(RecordingWindow& window, int tickLimit,
                       const std::function<void()>& beforeTick = {},
                       const std::function<void()>& afterTick = {}) {
    const bool started = Start(window);
    for (int ticks = 0; !window.ended(); ++ticks) {
        while (WaitTasks::RunOneWaiting()) {
        }
        if (beforeTick) {
            beforeTick();
        }
        if (window.ended()) {
            break;
        }
        if (!window.timerArmed) {
            ADD_FAILURE() << "the window neither ended nor has a timer: it would hang";
            break;
        }
        if (ticks == tickLimit) {
            ADD_FAILURE() << "still running after " << tickLimit << " ticks";
            break;
        }
        Tick(window);
        if (afterTick) {
            afterTick();
        }
    }
    window.MarkDestroyed();
    Teardown(window);
    return started;
}
