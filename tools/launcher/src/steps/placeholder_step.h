// Stand-in for a step whose class is not part of the launcher yet: it keeps
// the step's name and kind, logs that it is not built and finishes at once.
#pragma once

#include "requirement.h"

class PlaceholderStep : public Requirement {
public:
    PlaceholderStep(const wchar_t* name, StepKind kind) : Requirement(kind), name_(name) {}
    HWND Run(HWND parent) override;

private:
    const wchar_t* name_;
};
