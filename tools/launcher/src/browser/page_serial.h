// Ties the page's button presses to the view they were made on.
//
// The page shows the state of the launcher's hidden controls, but it shows
// it late: a new document takes a while to load, and until it has, the old
// one stays on screen with the buttons of the step that has just begun. A
// press on it must not act on that step (the second click of a double click
// on the CBA page would accept the EULA unread). So the launcher numbers
// the views: the number changes whenever another step page takes the
// presses and whenever a document is asked for or has finished loading, and
// reaches the page with the mirror once no load is under way. The page puts
// the number it last got into each "Binding" request; a press counts only
// when it carries the current number and that number reached the page at
// least PAGE_SETTLE_MS before the press arrived. Plain logic: the caller
// gives the target and the time.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

class PageSerial {
  public:
    // The step page that takes the presses now (null between steps).
    void NoteTarget(HWND target);
    // A document was asked for; its view gets a number once it has loaded.
    void NoteLoadRequested();
    // A document finished loading (of the requested one or of any other).
    void NoteLoadEnded();
    // The number the page should get now, noted as sent at now; nothing when
    // the page already has it or a load is under way.
    std::optional<unsigned> TakeToSend(DWORD now);
    // Whether a press made on the view numbered serial, arriving at now, is
    // one for the current view that has been on screen long enough.
    bool Accepts(unsigned serial, DWORD now) const;
    // Whether serial numbers the current view (whether or not it has been up
    // long enough).
    bool IsCurrent(unsigned serial) const { return serial == current_ && sent_ == current_; }
    unsigned Current() const { return current_; }

  private:
    HWND target_ = nullptr;
    unsigned current_ = 1;
    unsigned sent_ = 0; // 0: the current view has not got its number
    DWORD sentAt_ = 0;
    bool loading_ = false;
    void Advance();
};

// The view number at the end of a "Binding" request: "@" and decimal digits
// ending the text, as the interface writes it ("Binding:Main@12"). Nothing
// for a request without one.
std::optional<unsigned> BindingRequestSerial(std::string_view request);
