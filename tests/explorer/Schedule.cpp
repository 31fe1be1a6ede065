#include "explorer/Schedule.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace velmora::explorer {

namespace {

struct ActName {
    Act act;
    const char* name;
    int arguments;  // how many of a, b the text form carries
    bool place;     // a is a Place
};

constexpr ActName kActs[] = {
    {Act::Click, "click", 1, true},
    {Act::DoubleClick, "double-click", 1, true},
    {Act::Press, "press", 2, true},
    {Act::Release, "release", 2, true},
    {Act::Move, "move", 1, true},
    {Act::Leave, "leave", 0, false},
    {Act::Wheel, "wheel", 2, true},
    {Act::Key, "key", 2, false},
    {Act::KeyDown, "key-down", 2, false},
    {Act::Char, "char", 1, false},
    {Act::TouchTap, "tap", 1, true},
    {Act::TouchPan, "pan", 2, true},
    {Act::CloseMain, "close", 0, false},
    {Act::CloseApp, "close-taskbar", 0, false},
    {Act::CloseQueued, "close-queued", 0, false},
    {Act::Quit, "quit", 0, false},
    {Act::RefuseClose, "refuse-close", 1, false},
    {Act::Activate, "activate", 1, false},
    {Act::Deactivate, "deactivate", 0, false},
    {Act::Dpi, "dpi", 1, false},
    {Act::Resize, "resize", 2, false},
    {Act::A11yAction, "a11y-action", 2, false},
    {Act::A11yFocus, "a11y-focus", 1, false},
    {Act::EngineStart, "engine-start", 0, false},
    {Act::EngineComplete, "engine-complete", 1, false},
    {Act::EngineFail, "engine-fail", 2, false},
    {Act::EngineCommands, "engine-commands", 1, false},
    {Act::EngineClick, "engine-click", 0, false},
    {Act::EngineFocus, "engine-focus", 1, false},
    {Act::EngineRefuse, "engine-refuse", 1, false},
    {Act::Stall, "stall", 1, false},
};

constexpr const char* kPlaces[] = {"B1", "B2", "B3", "B4", "contents", "reader", "view", "empty", "strip"};

const ActName& NameOf(Act act) {
    for (const ActName& n : kActs)
        if (n.act == act) return n;
    throw std::logic_error("explorer: a step without a name");
}

std::string Number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

}  // namespace

std::string Describe(const Step& step) {
    const ActName& n = NameOf(step.act);
    std::string line = Number(step.at) + " " + n.name;
    if (n.arguments >= 1) line += " " + (n.place ? std::string(kPlaces[step.a]) : std::to_string(step.a));
    if (n.arguments >= 2) line += " " + std::to_string(step.b);
    return line;
}

std::string Describe(const Schedule& schedule) {
    std::string text = "jitter " + std::to_string(schedule.timerJitterUs) + " touch " +
                       (schedule.touchScreen ? "1" : "0") + "\n";
    for (const Step& step : schedule.steps) text += Describe(step) + "\n";
    return text;
}

Schedule ParseSchedule(const std::string& text) {
    Schedule schedule;
    std::string normalised = text;
    std::replace(normalised.begin(), normalised.end(), ';', '\n');
    std::istringstream lines(normalised);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first)) continue;
        auto bad = [&line] { return std::invalid_argument("explorer: cannot read the step \"" + line + "\""); };
        if (first == "jitter") {
            std::string touch;
            int touchValue = 0;
            if (!(words >> schedule.timerJitterUs >> touch >> touchValue) || touch != "touch") throw bad();
            schedule.touchScreen = touchValue != 0;
            continue;
        }
        Step step;
        try {
            step.at = std::stod(first);
        } catch (const std::exception&) {
            throw bad();
        }
        std::string name;
        if (!(words >> name)) throw bad();
        const auto* n = std::find_if(std::begin(kActs), std::end(kActs), [&](const ActName& a) { return name == a.name; });
        if (n == std::end(kActs)) throw bad();
        step.act = n->act;
        if (n->arguments >= 1) {
            std::string a;
            if (!(words >> a)) throw bad();
            if (n->place) {
                const auto* p = std::find(std::begin(kPlaces), std::end(kPlaces), a);
                if (p == std::end(kPlaces)) throw bad();
                step.a = static_cast<int>(p - std::begin(kPlaces));
            } else {
                step.a = std::stoi(a);
            }
        }
        if (n->arguments >= 2 && !(words >> step.b)) throw bad();
        schedule.steps.push_back(step);
    }
    return schedule;
}

double EndOf(const Schedule& schedule) { return schedule.steps.empty() ? 0 : schedule.steps.back().at; }

Schedule RandomSchedule(std::uint64_t seed, int steps) {
    std::mt19937_64 rng(seed);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
    auto chance = [&pick](int percent) { return pick(100) < percent; };

    Schedule schedule;
    schedule.seed = seed;
    schedule.timerJitterUs = chance(50) ? static_cast<unsigned>(pick(4000)) : 0;
    schedule.touchScreen = chance(30);

    // Places weighted towards what does something: the chapter buttons and
    // the page headers.
    const Place places[] = {Place::B1, Place::B2,      Place::B3,     Place::B4,   Place::B3,   Place::Contents,
                            Place::Reader, Place::Contents, Place::View, Place::Empty, Place::Strip};
    auto place = [&] { return static_cast<int>(places[pick(static_cast<int>(std::size(places)))]); };
    // Key codes with the shift states that mean something to the reader.
    const std::pair<int, int> keys[] = {{9, 0}, {9, 1}, {9, 2}, {9, 3}, {13, 0}, {32, 0},
                                        {37, 0}, {39, 0}, {38, 0}, {40, 0}, {27, 0}, {9, 4}};
    const int dpis[] = {96, 120, 144, 192};

    double at = 0;
    // Now and then the schedule starts the moment the window appears.
    int early = chance(15) ? 1 + pick(2) : 0;
    for (int i = 0; i < steps; ++i) {
        // Often the same instant or close behind, sometimes a pause long
        // enough for a slide to end.
        const int gap = pick(100);
        if (gap < 25) at += 0;
        else if (gap < 55) at += 1 + pick(20);
        else if (gap < 85) at += 20 + pick(150);
        else at += 150 + pick(500);

        Step step{.at = at};
        const int kind = pick(100);
        if (kind < 22) {
            step.act = Act::Click;
            step.a = place();
        } else if (kind < 25) {
            step.act = Act::DoubleClick;
            step.a = place();
        } else if (kind < 31) {
            step.act = chance(50) ? Act::Press : Act::Release;
            step.a = place();
            step.b = chance(85) ? 0 : 1 + pick(2);
        } else if (kind < 35) {
            step.act = chance(85) ? Act::Move : Act::Leave;
            step.a = place();
            if (step.act == Act::Leave) step.a = 0;
        } else if (kind < 37) {
            step.act = Act::Wheel;
            step.a = place();
            step.b = chance(50) ? 1 : -1;
        } else if (kind < 47) {
            const auto& [key, shift] = keys[pick(static_cast<int>(std::size(keys)))];
            step.act = chance(85) ? Act::Key : Act::KeyDown;
            step.a = key;
            step.b = shift;
        } else if (kind < 48) {
            step.act = Act::Char;
            step.a = 'a' + pick(26);
        } else if (kind < 51) {
            step.act = chance(60) ? Act::TouchTap : Act::TouchPan;
            step.a = place();
            if (step.act == Act::TouchPan) step.b = pick(41) - 20;
        } else if (kind < 53) {
            const int way = pick(20);
            step.act = way < 14 ? Act::CloseMain : way < 18 ? Act::CloseApp : Act::CloseQueued;
        } else if (kind < 54 && chance(40)) {
            step.act = Act::Quit;
        } else if (kind < 56) {
            step.act = Act::Stall;
            step.a = 1 + pick(250);
        } else if (kind < 60) {
            step.act = Act::RefuseClose;
            step.a = chance(50) ? 1 : 0;
        } else if (kind < 64) {
            step.act = chance(75) ? Act::Activate : Act::Deactivate;
            step.a = pick(3);
            if (step.act == Act::Deactivate) step.a = 0;
        } else if (kind < 67) {
            step.act = Act::Dpi;
            step.a = dpis[pick(static_cast<int>(std::size(dpis)))];
        } else if (kind < 69) {
            step.act = Act::Resize;
            step.a = 250 + pick(400);
            step.b = 250 + pick(400);
        } else if (kind < 74) {
            step.act = chance(70) ? Act::A11yAction : Act::A11yFocus;
            step.a = pick(12);
        } else if (kind < 92) {
            const int e = pick(100);
            if (e < 25) {
                step.act = Act::EngineStart;
            } else if (e < 55) {
                step.act = Act::EngineComplete;
                step.a = chance(75) ? 0 : 1 + pick(2);
            } else if (e < 70) {
                step.act = Act::EngineFail;
                step.a = chance(75) ? 0 : 1;
                step.b = chance(50) ? 404 : 500;
            } else if (e < 78) {
                step.act = Act::EngineCommands;
                step.a = pick(2);
            } else if (e < 85) {
                step.act = Act::EngineClick;
            } else if (e < 92) {
                step.act = Act::EngineFocus;
                step.a = pick(3);
            } else {
                step.act = Act::EngineRefuse;
                step.a = chance(40) ? 1 : 0;
            }
        } else {
            step.act = Act::Stall;
            step.a = 1 + pick(250);
        }
        if (early > 0 && step.act != Act::Stall) {
            --early;
            step.at = -1;
            at = 0;
        }
        if (early > 0 && step.act != Act::Stall) {
            --early;
            step.at = -1;
            at = 0;
        }
        schedule.steps.push_back(step);
    }
    return schedule;
}

}  // namespace velmora::explorer
