/*
 * The floor for the reader's start-up and memory: one GTK 3 top-level window
 * holding one WebKitWebView that loads the address given on the command line,
 * at the reader's client size (368 x 480). Nothing else.
 *
 *   bare_webview URL
 */
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "bare webview");
    gtk_window_set_default_size(GTK_WINDOW(window), 368, 480);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    if (argc > 1) webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
