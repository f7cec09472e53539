#include "shown_agreement.h"

int ShownAgreement = AGREEMENT_NONE;
bool ShowIntroAfterEula = false;
