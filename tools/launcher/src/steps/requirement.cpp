#include "requirement.h"

float GetStepWeight(int32_t kind)
{
    switch (kind) {
    case STEP_PROGRESS_NORMAL:
        return 1.0f;
    case STEP_PROGRESS_LIGHT:
        return 0.25f;
    case STEP_PROGRESS_HEAVY:
        return 10.0f;
    default:
        return 0.0f;
    }
}

StatisticsMap Requirement::GetStatistics()
{
    return {};
}

float Requirement::GetProgress()
{
    return NO_STEP_PROGRESS;
}
