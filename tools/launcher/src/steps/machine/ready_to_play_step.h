// The ready page, the last step of the main chain.
#pragma once

// Set once the ready page has opened in this run.
extern bool ReadyToPlayShown;
