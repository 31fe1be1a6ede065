// The message box's own steps, without running a dialog: the text GTK is
// given, the dialog's kind and buttons, and the answers read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/gtk/MessageDialog.h"

namespace velmora::gtk::testing {
namespace {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageBoxResult;

TEST(MessageDialog, TextLosesCarriageReturnsAndTrailingLineBreaksOnly) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"Страница не найдена.\r\n", "Страница не найдена."},
        {"Первая строка.\r\n\r\nВторая.\r\n\r\n", "Первая строка.\n\nВторая."},
        {"\n\nпосле пустых строк", "\n\nпосле пустых строк"},
        {"\r\n", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DialogText(c.in), c.out) << c.in;
}

TEST(MessageDialog, EveryButtonAnswersForItselfAndAnythingElseIsNoButton) {
    EXPECT_EQ(AnswerOf(GTK_RESPONSE_OK), MessageBoxResult::Ok);
    EXPECT_EQ(AnswerOf(GTK_RESPONSE_CANCEL), MessageBoxResult::Cancel);
    EXPECT_EQ(AnswerOf(GTK_RESPONSE_YES), MessageBoxResult::Yes);
    EXPECT_EQ(AnswerOf(GTK_RESPONSE_NO), MessageBoxResult::No);
    for (gint closed : {GTK_RESPONSE_DELETE_EVENT, GTK_RESPONSE_NONE, GTK_RESPONSE_CLOSE})
        EXPECT_EQ(AnswerOf(closed), std::nullopt) << closed;
}

class MessageDialogOnDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    }
};

TEST_F(MessageDialogOnDisplay, HoldsTheRequestsButtonsTheFirstAsDefaultWithTheIconsKind) {
    struct Case {
        MessageBoxButtons buttons;
        MessageBoxIcon icon;
        std::vector<GtkResponseType> responses;
        GtkMessageType type;
    };
    const Case cases[] = {
        {MessageBoxButtons::Ok, MessageBoxIcon::Error, {GTK_RESPONSE_OK}, GTK_MESSAGE_ERROR},
        {MessageBoxButtons::OkCancel, MessageBoxIcon::Warning, {GTK_RESPONSE_OK, GTK_RESPONSE_CANCEL},
         GTK_MESSAGE_WARNING},
        {MessageBoxButtons::YesNo, MessageBoxIcon::Question, {GTK_RESPONSE_YES, GTK_RESPONSE_NO},
         GTK_MESSAGE_QUESTION},
        {MessageBoxButtons::Ok, MessageBoxIcon::Information, {GTK_RESPONSE_OK}, GTK_MESSAGE_INFO},
        {MessageBoxButtons::Ok, MessageBoxIcon::None, {GTK_RESPONSE_OK}, GTK_MESSAGE_OTHER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.buttons) * 10 + static_cast<int>(c.icon));
        platform::MessageBoxRequest request;
        request.caption = "Тальмерин";
        request.icon = c.icon;
        request.buttons = c.buttons;
        GtkWidget* dialog = NewMessageDialog(nullptr, request, "Текст");
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(dialog)), "Тальмерин");
        EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
        GtkMessageType type = GTK_MESSAGE_OTHER;
        g_object_get(dialog, "message-type", &type, nullptr);
        EXPECT_EQ(type, c.type);

        GtkWidget* first = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), c.responses.front());
        ASSERT_NE(first, nullptr);
        GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(first)));
        std::vector<GtkResponseType> responses;
        for (GList* l = children; l; l = l->next)
            responses.push_back(
                static_cast<GtkResponseType>(gtk_dialog_get_response_for_widget(GTK_DIALOG(dialog), GTK_WIDGET(l->data))));
        g_list_free(children);
        EXPECT_EQ(responses, c.responses);
        EXPECT_EQ(gtk_window_get_default_widget(GTK_WINDOW(dialog)), first);
        gtk_widget_destroy(dialog);
    }
}

}  // namespace
}  // namespace velmora::gtk::testing
