#include "page_serial.h"

#include "step_page.h"

void PageSerial::Advance()
{
    ++current_;
    if (current_ == 0)
        current_ = 1;
    sent_ = 0;
}

void PageSerial::NoteTarget(HWND target)
{
    if (target == target_)
        return;
    target_ = target;
    Advance();
}

void PageSerial::NoteLoadRequested()
{
    loading_ = true;
    Advance();
}

void PageSerial::NoteLoadEnded()
{
    loading_ = false;
    Advance();
}

std::optional<unsigned> PageSerial::TakeToSend(DWORD now)
{
    if (loading_ || sent_ == current_)
        return std::nullopt;
    sent_ = current_;
    sentAt_ = now;
    return current_;
}

bool PageSerial::Accepts(unsigned serial, DWORD now) const
{
    return IsCurrent(serial) && PressCountsForPage(now, sentAt_);
}

std::optional<unsigned> BindingRequestSerial(std::string_view request)
{
    size_t at = request.rfind('@');
    // After "Binding" and the character that follows it.
    if (at == std::string_view::npos || at < 8)
        return std::nullopt;
    std::string_view digits = request.substr(at + 1);
    if (digits.empty() || digits.size() > 9)
        return std::nullopt;
    unsigned serial = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        serial = serial * 10 + static_cast<unsigned>(c - '0');
    }
    return serial;
}
