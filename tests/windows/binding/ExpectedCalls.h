// What the browser control and its display window must see in a session:
// every chapter chosen in turn from the table of contents, back through the
// page header after each, the reader opened once more through its header,
// the control asking to be moved, the window closed.
//
// The display is placed on every frame of a slide and the number of frames
// depends on the clock; repeated placements to the same spot depend on how
// often the window system asks for a realignment. So the log is compared
// collapsed: a placement repeated at once counts once, and a slide (the same
// display size moving left frame after frame, each frame moved with 0x14 and
// shown with 0x57) becomes one line naming where it began and ended.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velmora::binding_test {

inline std::string ChapterNavigate(int chapter, int flags) {
    return "Navigate(\"http://" VELMORA_CHAPTER_HOST "/Nav" + std::to_string(chapter) + ".html\", I4 " +
           std::to_string(flags) + ", missing, missing, missing)";
}

inline std::string Slide(const std::string& from, const std::string& to) {
    return "slide, every frame moved (0x14) and shown (0x57), from " + from + " to " + to;
}

namespace detail {

struct Placement {
    std::vector<std::string> lines;  // one (hide) or two (move, show)
    bool shown = false;
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The placement that starts at line i, if one does.
inline bool PlacementAt(const std::vector<std::string>& log, std::size_t i, Placement& out) {
    if (i < log.size() && log[i] == "SetWindowPos(display, 0x97)") {
        out = {{log[i]}};
        return true;
    }
    Placement p;
    if (i + 1 < log.size() && log[i + 1] == "SetWindowPos(display, 0x57)" &&
        std::sscanf(log[i].c_str(), "SetWindowPos(display, {%d, %d, %d, %d}, 0x14)", &p.left, &p.top, &p.right,
                    &p.bottom) == 4) {
        p.lines = {log[i], log[i + 1]};
        p.shown = true;
        out = p;
        return true;
    }
    return false;
}

}  // namespace detail

inline std::vector<std::string> Collapsed(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < log.size()) {
        detail::Placement first;
        if (!detail::PlacementAt(log, i, first)) {
            out.push_back(log[i++]);
            continue;
        }
        // The run of placements from here, repeats dropped.
        std::vector<detail::Placement> run{first};
        i += first.lines.size();
        detail::Placement next;
        while (detail::PlacementAt(log, i, next)) {
            i += next.lines.size();
            if (next.lines != run.back().lines) run.push_back(next);
        }
        bool slide = run.size() >= 2;
        for (std::size_t k = 1; k < run.size() && slide; ++k)
            slide = run[k].shown && run[k - 1].shown && run[k].left < run[k - 1].left &&
                    run[k].top == run[0].top && run[k].bottom == run[0].bottom &&
                    run[k].right - run[k].left == run[0].right - run[0].left;
        if (slide) {
            out.push_back(Slide(run.front().lines[0].substr(22, run.front().lines[0].size() - 22 - 7),
                                run.back().lines[0].substr(22, run.back().lines[0].size() - 22 - 7)));
            continue;
        }
        for (const detail::Placement& p : run) out.insert(out.end(), p.lines.begin(), p.lines.end());
    }
    return out;
}

inline std::vector<std::string> ExpectedSession() {
    // The reader page in the window's client pixels at 96 DPI, and one page
    // width to its right, where the slide starts.
    const std::string page = "{0, 28, 368, 480}", nextPage = "{368, 28, 736, 480}";
    const std::string hidden = "SetWindowPos(display, 0x97)";
    auto verb = [](int id, const std::string& rect) {
        return "DoVerb(" + std::to_string(id) + ", no message, client site, 0, VelmoraForm, " + rect + ")";
    };
    std::vector<std::string> calls = {
        // The window is built: the control is created, initialised and silenced ...
        "CoCreateInstance({8856F961-340A-11D0-A96B-00C04FD705A2}, no outer, 5, IOleObject)",
        "GetMiscStatus(1)",
        "SetClientSite(site)",  // the control asks for its site first
        "InitNew()",
        "GetControlInfo()",
        "Advise(IPropertyNotifySink)",
        "Advise(DWebBrowserEvents2)",
        "OnAmbientPropertyChange(-1)",
        "Invoke(551, property put true)",
        // ... and placed while the view has no size yet, its display hidden
        // behind the table of contents.
        verb(-5, "{0, 0, 0, 0}"),
        "GetWindow()",
        "Navigate(\"\", missing, missing, missing, missing)",
        hidden,
    };
    for (int chapter = 1; chapter <= 4; ++chapter) {
        // Loaded at once, while the reader is still hidden; then the display
        // is shown (once) and slides in with its page; the header takes it
        // back out of sight.
        const std::vector<std::string> round = {
            ChapterNavigate(chapter, 0),
            hidden,
            "put_Visible(true)",
            // The show verb names where the display was last placed: nowhere yet
            // before the first slide.
            verb(-1, chapter == 1 ? "{0, 0, 0, 0}" : page),
            Slide(nextPage, page),
            "put_Visible(false)",
            verb(-3, page),
            hidden,
        };
        calls.insert(calls.end(), round.begin(), round.end());
    }
    const std::vector<std::string> end = {
        // The reader opened through its header: shown where it was, no load.
        "put_Visible(true)",
        verb(-1, page),
        "SetWindowPos(display, " + page + ", 0x14)",
        "SetWindowPos(display, 0x57)",
        // The control asks to be moved and gets the rectangle it asked for.
        "engine asks: OnPosRectChange({10, 40, 300, 400})",
        "SetObjectRects({10, 40, 300, 400}, {0, 0, 32767, 32767})",
        // The window closes: closed without saving, both sinks disconnected,
        // the site taken back, the last reference let go.
        "Close(1)",
        "Unadvise(IPropertyNotifySink)",
        "Unadvise(DWebBrowserEvents2)",
        "SetClientSite(null)",
        "released",
    };
    calls.insert(calls.end(), end.begin(), end.end());
    return calls;
}

}  // namespace velmora::binding_test
