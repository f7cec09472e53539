// The page functions "cefQuery" and "cefQueryCancel" over process messages.
//
// In a render process, every page gets the two functions from a script
// extension. "cefQuery({request, onSuccess, onFailure})" keeps the callbacks
// in the page and sends the request, with the frame and a query number, to
// the browser process; there the launcher answers it, and the answer goes
// back to the render process, which calls the page's callback in that frame.
// "cefQueryCancel(id)" forgets a query's callbacks.
#pragma once

#include "cef_ref.h"

// Browser process: answers a query message; false for any other message.
bool AnswerPageQuery(const RuntimeRef<cef_browser_t>& browser,
                     const RuntimeRef<cef_process_message_t>& message);

// Render process: adds the page functions to every page from now on.
void RegisterPageQueryFunctions();
// Render process: hands an answer to the page's callback; false for any
// other message.
bool DeliverPageQueryAnswer(const RuntimeRef<cef_browser_t>& browser,
                            const RuntimeRef<cef_process_message_t>& message);
