// Requirement: the base of every step of the launcher's chains.
//
// A step is run by the RequirementQueue (requirement_queue.h) on the
// user-interface thread. Run either finishes the step at once (null), or
// shows a page and later posts WM_STEP_SUCCEEDED / WM_STEP_FAILED to the
// main window, or returns the parent itself when nothing more will happen
// (the step has posted the quit message).
#pragma once

#include <windows.h>

#include <cfloat>
#include <cstdint>
#include <map>
#include <string>

// Progress weight and bar style of a step. A step may change its kind while
// it runs (a failure page hides the bar, the retry countdown weighs heavy).
// Any other value weighs 0 and shows a position bar.
enum StepKind : int32_t {
    STEP_PROGRESS_NORMAL = 0,  // weight 1.0
    STEP_PROGRESS_LIGHT = 1,   // weight 0.25
    STEP_PROGRESS_HEAVY = 2,   // weight 10.0
    STEP_PROGRESS_MARQUEE = 3, // weight 0, marquee bar
    STEP_PROGRESS_FULL = 4,    // weight 0, full bar
    STEP_PROGRESS_HIDDEN = 5,  // weight 0, no bar
};

// The chain BuildChain appends; also the lParam of WM_STEP_FAILED. Any value
// other than 1 to 3 builds the main chain.
enum ChainType : int32_t {
    CHAIN_MAIN = 0,
    CHAIN_PURGE = 1,
    CHAIN_RETRY_PROMPT = 2,
    CHAIN_SUPPORT = 3,
};

// A step's own statistics: key to signed 64-bit value.
using StatisticsMap = std::map<std::wstring, int64_t>;

// GetProgress of a step that reports no progress (the most negative float).
constexpr float NO_STEP_PROGRESS = -FLT_MAX;

float GetStepWeight(int32_t kind);

class Requirement {
public:
    explicit Requirement(StepKind initialKind) : kind(initialKind) {}
    Requirement(const Requirement&) = delete;
    Requirement& operator=(const Requirement&) = delete;

    // The queue deletes steps through this.
    virtual ~Requirement() = default;

    // A copy of the step's statistics, taken under whatever lock guards the
    // step's own map (workers may still be adding to it). Base: empty.
    virtual StatisticsMap GetStatistics();

    // parent is the main window or the headless console dialog. Returns the
    // step's page (the step goes on and reports by message), parent itself
    // (nothing more happens for this step) or null (finished, succeeded).
    virtual HWND Run(HWND parent) = 0;

    // Fraction of the step's work done, 0 to 1; NO_STEP_PROGRESS when the
    // step reports none. Called on the user-interface thread.
    virtual float GetProgress();

    // Written by the step on the user-interface thread only.
    StepKind kind;
};
