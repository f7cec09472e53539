// ShownAgreement: which agreement page is up. The agreement pages set it
// before they send their document to the main window, which then loads the
// matching page of the browser interface instead of the converted text.
#pragma once

enum AgreementId : int {
    AGREEMENT_NONE = -1,
    AGREEMENT_CBA = 0,
    AGREEMENT_EULA = 1,
};

extern int ShownAgreement; // AGREEMENT_NONE at start

// Set when the EULA is accepted and never cleared: the browser interface's
// start page is then the intro page.
extern bool ShowIntroAfterEula;
