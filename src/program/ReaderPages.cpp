#include "ReaderPages.h"

#include <cctype>
#include <cstdint>

namespace velmora {

using platform::LoadFailure;
using platform::LoadFailureInfo;

namespace {

// The length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t ValidSequence(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t code = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) length = 2, code = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, code = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, code = lead & 0x07, least = 0x10000;
    else return 0;
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and what lies beyond Unicode are not valid.
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

struct Address {
    std::string host;
    int port = 0;
};

// The host and port of an absolute address (scheme://[user@]host[:port]/...).
Address ParseAddress(const std::string& uri) {
    Address address;
    const std::size_t colon = uri.find(':');
    if (colon == std::string::npos || uri.compare(colon, 3, "://") != 0) return address;
    std::string scheme = uri.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t start = colon + 3;
    const std::size_t end = uri.find_first_of("/?#", start);
    std::string authority = uri.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) return {};
        address.host = authority.substr(0, close + 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':') port = authority.substr(close + 2);
    } else {
        const std::size_t portColon = authority.rfind(':');
        address.host = authority.substr(0, portColon);
        if (portColon != std::string::npos) port = authority.substr(portColon + 1);
    }
    address.port = scheme == "https" ? 443 : 80;
    if (!port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos)
        address.port = std::stoi(port);
    return address;
}

bool IsThisMachine(const std::string& host) {
    return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == "[::1]";
}

struct Wording {
    std::string what;
    std::string advice;
};

Wording Describe(const LoadFailureInfo& failure, const Address& address) {
    const std::string host = address.host.empty() ? "сервер глав" : "«" + EscapeHtml(address.host) + "»";
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
                    (failure.mimeType.empty() ? std::string() : " (тип «" + EscapeHtml(failure.mimeType) + "»)") + ".",
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

std::string EscapeHtml(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = ValidSequence(text, i);
        if (length == 0) {
            result += "\xEF\xBF\xBD";  // U+FFFD in place of a byte that starts no character
            ++i;
            continue;
        }
        if (length == 1) {
            switch (text[i]) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            case '\'': result += "&apos;"; break;
            default: result += text[i]; break;
            }
        } else {
            result.append(text, i, length);
        }
        i += length;
    }
    return result;
}

std::string ReaderPages::LoadingText() const { return "Глава загружается…"; }

std::string ReaderPages::FailurePage(const std::string& chapterUri, const LoadFailureInfo& failure) const {
    const Wording wording = Describe(failure, ParseAddress(chapterUri));
    std::string html =
        "<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'\">"
        "<title>";
    html += kFailureTitle;
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
    html += kFailureTitle;
    html += "</h1><p>Глава по адресу <span class=\"address\">";
    html += EscapeHtml(chapterUri);
    html += "</span> не показана.</p><p id=\"what\">";
    html += wording.what;
    html += "</p><p id=\"advice\">";
    html += wording.advice;
    html += "</p><a class=\"retry\" id=\"retry\" href=\"";
    html += platform::RetryLink;
    html += "\">Повторить</a><p class=\"hint\">Загрузить главу заново можно и клавишей F5.</p>";
    if (!failure.detail.empty()) {
        html += "<p class=\"detail\">Подробности: ";
        html += EscapeHtml(failure.detail);
        html += "</p>";
    }
    html += "</body></html>";
    return html;
}

}  // namespace velmora
