#pragma once

#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"
#include "platform/ScopedSeam.h"

#include <QString>
#include <deque>
#include <optional>
#include <vector>

/// Answers message boxes and the folder dialog instead of a person, and records what was asked.
/// Installed for the lifetime of the object.
class DialogAnswers {
public:
    struct Message {
        QString text;
        int style = 0;
        QString title;
    };

    std::vector<Message> messages;
    std::deque<int> answers;       ///< given in order; OK when none is left
    std::optional<QString> folder; ///< the folder chosen; none = cancelled
    std::vector<QString> folderTitles;

private:
    // Last, so that the handlers go before what they fill in.
    const platform::ScopedSeam<MsgBox::Handler> m_messageBoxes{
        MsgBox::SetHandler, [this](const QString& text, int style, const QString& title) {
            messages.push_back({text, style, title});
            if (answers.empty()) {
                return static_cast<int>(MsgBox::Ok);
            }
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }};
    const platform::ScopedSeam<FolderDialog::Handler> m_folderDialog{
        FolderDialog::SetHandler, [this](const QString& title) {
            folderTitles.push_back(title);
            return folder;
        }};
};
