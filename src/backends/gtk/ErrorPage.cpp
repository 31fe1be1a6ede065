#include "ErrorPage.h"

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

namespace velmora::gtk {

namespace {

std::string Escape(const std::string& text) {
    // Invalid UTF-8 from a server must not break the page either.
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    gchar* escaped = g_markup_escape_text(valid, -1);
    std::string result = escaped;
    g_free(escaped);
    g_free(valid);
    return result;
}

struct Address {
    std::string host;
    int port = 0;
};

Address ParseAddress(const std::string& uri) {
    Address address;
    GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_PARSE_RELAXED, nullptr);
    if (!parsed) return address;
    if (const char* host = g_uri_get_host(parsed)) address.host = host;
    address.port = g_uri_get_port(parsed);
    if (address.port < 0) {
        const char* scheme = g_uri_get_scheme(parsed);
        address.port = scheme && g_ascii_strcasecmp(scheme, "https") == 0 ? 443 : 80;
    }
    g_uri_unref(parsed);
    return address;
}

bool IsThisMachine(const std::string& host) {
    return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == "[::1]";
}

struct Wording {
    std::string what;
    std::string advice;
};

Wording Describe(const FailureInfo& failure, const Address& address) {
    const std::string host = address.host.empty() ? "сервер глав" : "«" + Escape(address.host) + "»";
    const std::string port = std::to_string(address.port);
    switch (failure.kind) {
    case LoadFailure::Refused:
        if (IsThisMachine(address.host))
            return {"Служба книги на этом компьютере не принимает соединения (порт " + port + ").",
                    "Похоже, служба книги не запущена или порт " + port +
                        " занят другой программой. Запустите службу книги и нажмите «Повторить»."};
        return {"Сервер " + host + " не принимает соединения (порт " + port + ").",
                "Проверьте, что сервер работает, и нажмите «Повторить»."};
    case LoadFailure::Unreachable:
        return {"Сервер " + host + " не найден или недоступен по сети.",
                "Проверьте подключение к сети и нажмите «Повторить»."};
    case LoadFailure::TimedOut:
        return {"Сервер " + host + " слишком долго не отвечает.",
                "Возможно, он перегружен. Подождите немного и нажмите «Повторить»."};
    case LoadFailure::Reset:
        return {"Соединение с сервером " + host + " оборвалось, глава пришла не полностью.",
                "Нажмите «Повторить», чтобы загрузить её заново."};
    case LoadFailure::TooManyRedirects:
        return {"Сервер " + host + " пересылает запрос по кругу, и глава так и не была получена.",
                "Это ошибка настройки сервера. Сообщите о ней тому, кто его обслуживает."};
    case LoadFailure::HttpStatus:
        if (failure.httpStatus == 404)
            return {"На сервере нет такой главы (ошибка 404).",
                    "Проверьте, что на сервере установлена полная книга."};
        if (failure.httpStatus >= 500)
            return {"На сервере произошла ошибка (код " + std::to_string(failure.httpStatus) + ").",
                    "Подождите немного и нажмите «Повторить»."};
        return {"Сервер отказал в выдаче главы (код " + std::to_string(failure.httpStatus) + ").",
                "Нажмите «Повторить». Если ошибка останется, сообщите о ней тому, кто обслуживает сервер."};
    case LoadFailure::NotAPage:
        return {"Сервер прислал не страницу, а файл" +
                    (failure.mimeType.empty() ? std::string() : " (тип «" + Escape(failure.mimeType) + "»)") + ".",
                "Читатель показывает только страницы и ничего не сохраняет. Проверьте, что сервер отдаёт главу как "
                "страницу."};
    case LoadFailure::Crashed:
        return {"Процесс, показывавший главу, неожиданно завершился.",
                "Нажмите «Повторить», чтобы загрузить главу заново."};
    case LoadFailure::Unresponsive:
        return {"Страница главы перестала отвечать, и читатель её остановил.",
                "Нажмите «Повторить», чтобы загрузить главу заново, или выберите другую главу."};
    case LoadFailure::Other:
        break;
    }
    return {"Главу не удалось загрузить.", "Нажмите «Повторить», чтобы попробовать ещё раз."};
}

}  // namespace

LoadFailure ClassifyLoadError(const GError* error) {
    if (!error) return LoadFailure::Other;
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_CONNECTION_REFUSED: return LoadFailure::Refused;
        case G_IO_ERROR_HOST_NOT_FOUND:
        case G_IO_ERROR_HOST_UNREACHABLE:
        case G_IO_ERROR_NETWORK_UNREACHABLE: return LoadFailure::Unreachable;
        case G_IO_ERROR_TIMED_OUT: return LoadFailure::TimedOut;
        case G_IO_ERROR_PARTIAL_INPUT:
        case G_IO_ERROR_BROKEN_PIPE:
        case G_IO_ERROR_CLOSED: return LoadFailure::Reset;
        default: return LoadFailure::Other;
        }
    }
    if (error->domain == G_RESOLVER_ERROR) return LoadFailure::Unreachable;
    if (error->domain == SOUP_SESSION_ERROR) {
        if (error->code == SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS || error->code == SOUP_SESSION_ERROR_REDIRECT_BAD_URI)
            return LoadFailure::TooManyRedirects;
        if (error->code == SOUP_SESSION_ERROR_PARSING || error->code == SOUP_SESSION_ERROR_ENCODING)
            return LoadFailure::Reset;
        return LoadFailure::Other;
    }
    if (error->domain == WEBKIT_POLICY_ERROR && error->code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_MIME_TYPE)
        return LoadFailure::NotAPage;
    // The engine's own words for these, whatever its build maps them to.
    const std::string message = error->message ? error->message : "";
    if (message.find("redirect") != std::string::npos) return LoadFailure::TooManyRedirects;
    if (message.find("terminated unexpectedly") != std::string::npos) return LoadFailure::Reset;
    if (message.find("Connection refused") != std::string::npos) return LoadFailure::Refused;
    return LoadFailure::Other;
}

std::string ErrorPageHtml(const std::string& chapterUri, const FailureInfo& failure) {
    const Address address = ParseAddress(chapterUri);
    const Wording wording = Describe(failure, address);
    std::string html =
        "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
        "<title>";
    html += kErrorPageTitle;
    html +=
        "</title><style>"
        "body{font-family:sans-serif;margin:2em;color:#222;background:#fff;line-height:1.4}"
        "h1{font-size:1.3em;font-weight:normal;margin:0 0 .8em}"
        ".address{color:#555;word-break:break-all}"
        ".retry{display:inline-block;margin-top:1em;padding:.4em 1.2em;border:1px solid #888;border-radius:4px;"
        "background:#f2f2f2;color:#000;text-decoration:none}"
        ".retry:hover{background:#e4e4e4}"
        ".detail{margin-top:2em;font-size:.8em;color:#777;word-break:break-all}"
        "</style></head><body><h1>";
    html += kErrorPageTitle;
    html += "</h1><p>Глава по адресу <span class=\"address\">";
    html += Escape(chapterUri);
    html += "</span> не показана.</p><p id=\"what\">";
    html += wording.what;
    html += "</p><p id=\"advice\">";
    html += wording.advice;
    html += "</p><a class=\"retry\" id=\"retry\" href=\"";
    html += kRetryUri;
    html += "\">Повторить</a><p class=\"hint\">Загрузить главу заново можно и клавишей F5.</p>";
    if (!failure.detail.empty()) {
        html += "<p class=\"detail\">Подробности: ";
        html += Escape(failure.detail);
        html += "</p>";
    }
    html += "</body></html>";
    return html;
}

}  // namespace velmora::gtk
