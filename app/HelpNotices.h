#pragma once

#include <QString>

class QWidget;

namespace larkspan {

// The maker's contact web page named in the "Help" notice.
inline constexpr const char *kContactAddress = "https://www.vornhelm.example/contact";

QString ContactNotice();
QString PrivacyNotice();

// "Help": the contact line, then the privacy statement, each in a plain message box.
// A failure of the first still leads to the second.
void ShowHelpNotices(QWidget *owner = nullptr);

// "Can't Login?": opens the sign-in help picture shipped beside the program in the
// user's picture viewer; nothing happens when it is missing.
void OpenLoginHelpPicture();

// The help picture's path in the program folder.
QString LoginHelpPicturePath();

} // namespace larkspan
