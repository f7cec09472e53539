// The agreement steps ReqCBA ("CBA") and ReqEULA ("EULA"): each shows one
// agreement document (RTF, fetched by the first content pass) in the text
// pane with the main button "AGREE", and records the acceptance as the
// document's MD5 in "ReadCba" / "ReadEula". A document whose MD5 is already
// recorded (compared exactly, letter case included) is not shown again.
// The user cannot decline other than by quitting the launcher.
#pragma once

#include "requirement.h"

#include <cstdint>
#include <string>
#include <vector>

// One agreement: where its document and version come from and where its
// acceptance goes. The two instances live for the whole run.
struct AgreementDocument {
    std::wstring& path;         // the manifest's local path; empty: no document
    std::wstring& hash;         // the manifest's MD5, the agreement's version
    const wchar_t* setting;     // "ReadCba" / "ReadEula" (client-type scope)
    const wchar_t* localOption; // "-localcba" / "-localeula"
    const wchar_t* sharePath;   // the build share's copy, used with localOption
    int shownId;                // AGREEMENT_CBA / AGREEMENT_EULA
    bool eula;
    std::vector<char> buffer; // the whole document and a zero byte, kept for the run
    bool forceConsumed;       // "-force:agreements" was applied in this process
};

// The largest document that is read: a real one is a few hundred KiB of RTF.
// A larger one is not read, and the step fails as for a missing one.
constexpr int64_t AGREEMENT_MAX_BYTES = int64_t{8} << 20;

extern AgreementDocument CbaDocument;
extern AgreementDocument EulaDocument;

// Whether the current document's MD5 is the recorded one. False without a
// document. The first test that has a document applies "-force:agreements"
// once per process by emptying the recorded value.
bool IsAgreementAccepted(AgreementDocument& document);
bool IsCbaAccepted();
bool IsEulaAccepted();

class ReqAgreement : public Requirement {
public:
    explicit ReqAgreement(AgreementDocument& document)
        : Requirement(STEP_PROGRESS_HIDDEN), document_(document)
    {
    }

    // Null when there is no document or it is accepted; the agreement page;
    // or, when the document cannot be read or is larger than
    // AGREEMENT_MAX_BYTES, the QUIT page "UPDATE_FAILED".
    HWND Run(HWND parent) override;

protected:
    // The page's messages, for the document of the subclass's procedure.
    static INT_PTR HandlePage(AgreementDocument& document, HWND page, UINT message, WPARAM wParam);

private:
    virtual DLGPROC PageProc() const = 0;
    AgreementDocument& document_;
};

class ReqCBA : public ReqAgreement {
public:
    ReqCBA() : ReqAgreement(CbaDocument) {}
    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

private:
    DLGPROC PageProc() const override { return DialogProc; }
};

class ReqEULA : public ReqAgreement {
public:
    ReqEULA() : ReqAgreement(EulaDocument) {}
    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

private:
    DLGPROC PageProc() const override { return DialogProc; }
};
