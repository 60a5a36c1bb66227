#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace larkspan {

struct MainListParts;
class clsChilkatIMAP;

// The main window's list handlers. Form1 connects its buttons to these; each one
// traps its own errors, so none lets a failure escape into the event loop.

// "2a. Get All Emails", and "Stop" while a run is going.
void PushButton3_Click(MainListParts &ctx);
// "2b. Get Some Emails".
void PushButton2_Click(MainListParts &ctx);

// "Check All", "Uncheck All", "Clear List", "Check Emails Containing...",
// "Check Emails Not Containing...".
void PushButton5_Click(MainListParts &ctx);
void PushButton6_Click(MainListParts &ctx);
void PushButton7_Click(MainListParts &ctx);
void PushButton9_Click(MainListParts &ctx);
void PushButton10_Click(MainListParts &ctx);

// "Open Mail Files...": .eml files, an mbox file or a Maildir folder, listed as a
// Get All run lists a server folder; no sign-in needed. Get All and Get Some then
// list from it, the folder box offering a Maildir++ tree's folders.
void OpenMailFiles_Click(MainListParts &ctx);

// "Show List In Larger View".
void PushButton8_Click(MainListParts &ctx);

// "Filter By Characters", "?", "Clear Filter".
void PushButton14_Click(MainListParts &ctx);
void PushButton15_Click(MainListParts &ctx);
void PushButton17_Click(MainListParts &ctx);

// The session's events, as the main window receives them through oChilkat.
void oChilkat_MailExtractListing(MainListParts &ctx, const QString &From, const QString &FromName,
                                 const QString &FromAddress, const QString &Subject,
                                 const QString &ReceivedDate, const QString &PlainTextBody,
                                 const QString &HTMLTextBody, int uID);
void oChilkat_ScrapProgress(MainListParts &ctx, int percent);

// Appends the row of a listed message and puts its record (made by record) at the
// row's index; each step trapped on its own, so a failing one leaves the rest filled.
class ErrorTrap;
class MessageRecord;
struct ListedTexts;
void AppendListedRow(MainListParts &ctx, ErrorTrap &trap, const ListedTexts &texts,
                     const std::function<MessageRecord()> &record);

// A new session for the window, made its oChilkat, its events bound: the window's
// IMAP client, the server and account the sign-in fields name (MainListParts::signIn).
// Not yet connected.
std::shared_ptr<clsChilkatIMAP> NewWindowSession(MainListParts &ctx);

// Routes a session's two events to the handlers above. Only the session that is
// ctx.oChilkat at the moment an event arrives is heard, as with a window's event
// reference that was cleared or replaced. Calling it again for the same session
// changes nothing; retrieval runs call it themselves.
void BindSessionEvents(MainListParts &ctx, const std::shared_ptr<clsChilkatIMAP> &session);

} // namespace larkspan
