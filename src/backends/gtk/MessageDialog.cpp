#include "MessageDialog.h"

#include <vector>

namespace velmora::gtk {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageBoxResult;

std::string DialogText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (char c : text)
        if (c != '\r') shown += c;
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    return shown;
}

GtkMessageType MessageTypeOf(MessageBoxIcon icon) {
    switch (icon) {
    case MessageBoxIcon::Error:
        return GTK_MESSAGE_ERROR;
    case MessageBoxIcon::Warning:
        return GTK_MESSAGE_WARNING;
    case MessageBoxIcon::Information:
        return GTK_MESSAGE_INFO;
    case MessageBoxIcon::Question:
        return GTK_MESSAGE_QUESTION;
    case MessageBoxIcon::None:
        break;
    }
    return GTK_MESSAGE_OTHER;
}

namespace {

struct Button {
    const char* label;
    GtkResponseType response;
};

// In the order shown; the first is the default.
std::vector<Button> ButtonsOf(MessageBoxButtons buttons) {
    switch (buttons) {
    case MessageBoxButtons::OkCancel:
        return {{"_OK", GTK_RESPONSE_OK}, {"_Cancel", GTK_RESPONSE_CANCEL}};
    case MessageBoxButtons::YesNo:
        return {{"_Yes", GTK_RESPONSE_YES}, {"_No", GTK_RESPONSE_NO}};
    case MessageBoxButtons::Ok:
        break;
    }
    return {{"_OK", GTK_RESPONSE_OK}};
}

}  // namespace

GtkWidget* NewMessageDialog(GtkWindow* parent, const platform::MessageBoxRequest& request, const std::string& text) {
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, MessageTypeOf(request.icon),
                                               GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), request.caption.c_str());
    if (!parent) gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    const std::vector<Button> buttons = ButtonsOf(request.buttons);
    for (const Button& button : buttons) gtk_dialog_add_button(GTK_DIALOG(dialog), button.label, button.response);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), buttons.front().response);
    return dialog;
}

std::optional<MessageBoxResult> AnswerOf(gint response) {
    switch (response) {
    case GTK_RESPONSE_YES:
        return MessageBoxResult::Yes;
    case GTK_RESPONSE_NO:
        return MessageBoxResult::No;
    case GTK_RESPONSE_CANCEL:
        return MessageBoxResult::Cancel;
    case GTK_RESPONSE_OK:
        return MessageBoxResult::Ok;
    default:
        return std::nullopt;
    }
}

}  // namespace velmora::gtk
