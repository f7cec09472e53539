#include "in_house.h"

#include "server_config.h"

namespace {

bool (*Query)() = nullptr;
bool Tested = false;
bool InHouse = false;

} // namespace

bool IsInHouseMachine()
{
    if (!Tested) {
        Tested = true;
        InHouse = Query ? Query() : QueryInHouseMachine();
    }
    return InHouse;
}

void SetInHouseMachineQuery(bool (*query)())
{
    Query = query;
    Tested = false;
    InHouse = false;
}
