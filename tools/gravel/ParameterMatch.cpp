#include "ParameterMatch.h"

#include "EffectLoader.h"

#include "hosting/VSTPlugIn.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

constexpr int gridSteps = 1000;
// More distinct values than this across the travel: a continuous control.
constexpr size_t mostListValues = 16;

std::vector<std::string> words(const std::string& normalised)
{
    std::vector<std::string> result;
    std::istringstream in(normalised);
    for (std::string w; in >> w;)
        result.push_back(w);
    return result;
}

std::string compact(const std::string& text)
{
    std::string result;
    for (unsigned char c : text)
        if (!std::isspace(c))
            result += char(std::tolower(c));
    return result;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string joinNames(const std::vector<std::string>& names)
{
    std::string result;
    for (const std::string& n : names)
        result += (result.empty() ? "" : ", ") + n;
    return result;
}

// A text that starts with a number ("7.50", "8x", "-3.0 dB"): the number and
// what follows it, without blanks and in lower case. Words such as "inf" or
// "nan" are no numbers here.
bool splitNumber(const std::string& text, double& number, std::string& unit)
{
    const std::string t = trimmed(text);
    if (t.empty() || !(std::isdigit(static_cast<unsigned char>(t[0])) || t[0] == '-' || t[0] == '+' || t[0] == '.'))
        return false;
    const char* begin = t.c_str();
    char* end = nullptr;
    number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number))
        return false;
    unit = compact(end);
    return true;
}

bool isOnWord(const std::string& key) { return key == "on" || key == "yes" || key == "true" || key == "1"; }
bool isOffWord(const std::string& key) { return key == "off" || key == "no" || key == "false" || key == "0"; }

// What a parameter shows across its travel, on a fine grid.
struct Travel {
    Travel(ParameterAccess& parameters, int index)
    {
        texts.reserve(gridSteps + 1);
        for (int i = 0; i <= gridSteps; ++i) {
            texts.push_back(parameters.display(index, float(i) / gridSteps));
            if (std::find(distinct.begin(), distinct.end(), texts.back()) == distinct.end())
                distinct.push_back(texts.back());
        }
    }
    bool isList() const { return distinct.size() <= mostListValues; }
    bool isSwitch() const
    {
        return distinct.size() == 2 && ((isOnWord(compact(distinct[0])) && isOffWord(compact(distinct[1]))) ||
                                        (isOffWord(compact(distinct[0])) && isOnWord(compact(distinct[1]))));
    }
    // The middle of the first run of grid points that `fits`: for stepped
    // parameters that is the middle of the step, safe from its edges.
    template <typename Fits>
    int middleOfRun(Fits fits) const
    {
        int first = 0;
        while (first <= gridSteps && !fits(texts[size_t(first)]))
            ++first;
        if (first > gridSteps)
            return -1;
        int last = first;
        while (last < gridSteps && fits(texts[size_t(last) + 1]))
            ++last;
        return (first + last) / 2;
    }
    std::vector<std::string> texts, distinct;
};

// A number on a continuous control: the grid point nearest to it, then a
// bisection between the grid points around it, as the display may hit the
// number between them. -1 when it is outside what the control shows.
float nearestPosition(ParameterAccess& parameters, int index, const Travel& travel, double number,
                      const std::string& unit, std::string& low, std::string& high)
{
    std::vector<double> numbers(gridSteps + 1, NAN);
    double lowest = INFINITY, highest = -INFINITY, largestStep = 0.0;
    for (int i = 0; i <= gridSteps; ++i) {
        std::string shownUnit;
        double shown = 0.0;
        if (!splitNumber(travel.texts[size_t(i)], shown, shownUnit) || (!unit.empty() && unit != shownUnit))
            continue;
        numbers[size_t(i)] = shown;
        if (shown < lowest) {
            lowest = shown;
            low = travel.texts[size_t(i)];
        }
        if (shown > highest) {
            highest = shown;
            high = travel.texts[size_t(i)];
        }
        if (i > 0 && std::isfinite(numbers[size_t(i) - 1]))
            largestStep = std::max(largestStep, std::fabs(shown - numbers[size_t(i) - 1]));
    }
    if (!(number >= lowest - largestStep / 2 && number <= highest + largestStep / 2))
        return -1.0f;
    int pick = 0;
    double best = INFINITY;
    for (int i = 0; i <= gridSteps; ++i)
        if (std::fabs(numbers[size_t(i)] - number) < best) {
            best = std::fabs(numbers[size_t(i)] - number);
            pick = i;
        }
    float chosen = float(pick) / gridSteps;
    for (int i = std::max(pick - 1, 0); best > 0.0 && i < std::min(pick + 1, gridSteps); ++i) {
        const double a0 = numbers[size_t(i)], b0 = numbers[size_t(i) + 1];
        if (!std::isfinite(a0) || !std::isfinite(b0) || (a0 - number) * (b0 - number) > 0.0)
            continue;
        float a = float(i) / gridSteps, b = float(i + 1) / gridSteps;
        const bool rising = b0 > a0;
        for (int step = 0; step < 30; ++step) {
            const float mid = 0.5f * (a + b);
            double shown = 0.0;
            std::string shownUnit;
            splitNumber(parameters.display(index, mid), shown, shownUnit);
            if (std::fabs(shown - number) < best) {
                best = std::fabs(shown - number);
                chosen = mid;
            }
            if ((shown < number) == rising)
                a = mid;
            else
                b = mid;
        }
        break;
    }
    return chosen;
}

} // namespace

int VSTParameterAccess::count() { return plugIn.getParameterCount(); }

std::string VSTParameterAccess::name(int index)
{
    char text[256] = {};
    plugIn.getParameterName(index, text);
    text[sizeof text - 1] = '\0';
    return trimmed(text);
}

float VSTParameterAccess::position(int index) { return plugIn.getParameter(index); }

void VSTParameterAccess::setPosition(int index, float position) { plugIn.setParameter(index, position); }

std::string VSTParameterAccess::display(int index, float position)
{
    const float original = plugIn.getParameter(index);
    plugIn.setParameter(index, position);
    char text[256] = {}, label[256] = {};
    plugIn.getParameterDisplay(index, text);
    plugIn.getParameterLabel(index, label);
    plugIn.setParameter(index, original);
    text[sizeof text - 1] = label[sizeof label - 1] = '\0';
    const std::string value = trimmed(text), unit = trimmed(label);
    // "4x" and "50%" read as one; longer units stand apart ("-3.0 dB").
    if (unit.empty())
        return value;
    return value + (unit.size() == 1 ? "" : " ") + unit;
}

std::string normaliseName(const std::string& text)
{
    std::string result;
    for (unsigned char c : text) {
        if (std::isalnum(c))
            result += static_cast<char>(std::tolower(c));
        else if (!result.empty() && result.back() != ' ')
            result += ' ';
    }
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

std::vector<std::string> parameterNames(ParameterAccess& parameters)
{
    std::vector<std::string> names;
    for (int i = 0; i < parameters.count(); ++i)
        names.push_back(parameters.name(i));
    return names;
}

int findParameter(const std::vector<std::string>& names, const std::string& wanted, std::string& error)
{
    const std::string target = normaliseName(wanted);
    if (target.empty()) {
        error = "a parameter name is missing before '='; valid names: " + joinNames(names);
        return -1;
    }
    // Ever looser tests; the first that picks anything decides, and picking
    // more than one is refused rather than guessed.
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<int> hits;
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string name = normaliseName(names[i]);
            bool hit = false;
            if (pass == 0) {
                hit = name == target || compact(name) == compact(target);
            } else if (pass == 1) {
                hit = name.compare(0, target.size(), target) == 0;
            } else {
                for (const std::string& word : words(name))
                    hit = hit || word.compare(0, target.size(), target) == 0;
            }
            if (hit)
                hits.push_back(static_cast<int>(i));
        }
        if (hits.size() == 1)
            return hits[0];
        if (hits.size() > 1) {
            std::vector<std::string> candidates;
            for (int i : hits)
                candidates.push_back(names[size_t(i)]);
            error = "parameter '" + wanted + "' is ambiguous: it could be " + joinNames(candidates) +
                    "; give more of the name";
            return -1;
        }
    }
    error = "unknown parameter '" + wanted + "'; valid names: " + joinNames(names);
    return -1;
}

bool resolveValue(ParameterAccess& parameters, int index, const std::string& text, float& position,
                  std::string& error)
{
    const std::string name = parameters.name(index);
    const std::string given = trimmed(text);
    if (given.empty()) {
        error = "no value given for " + name + " after '='";
        return false;
    }
    if (given.back() == '%') {
        double percent = 0.0;
        std::string rest;
        if (splitNumber(given.substr(0, given.size() - 1), percent, rest) && rest.empty() && percent >= 0.0 &&
            percent <= 100.0) {
            position = float(percent / 100.0);
            return true;
        }
        error = "'" + given + "' is no position on " + name + "'s travel; give one from 0% to 100%";
        return false;
    }

    const Travel travel(parameters, index);
    const std::string key = compact(given);
    auto fitsKey = [&](const std::string& shown) { return compact(shown) == key; };
    int pick = travel.middleOfRun(fitsKey);
    if (pick < 0 && travel.isSwitch() && (isOnWord(key) || isOffWord(key))) {
        const bool on = isOnWord(key);
        pick = travel.middleOfRun([&](const std::string& shown) { return isOnWord(compact(shown)) == on; });
    }
    double number = 0.0;
    std::string unit;
    if (pick < 0 && splitNumber(given, number, unit)) {
        if (travel.isList()) {
            pick = travel.middleOfRun([&](const std::string& shown) {
                double value = 0.0;
                std::string shownUnit;
                return splitNumber(shown, value, shownUnit) && value == number &&
                       (unit.empty() || unit == shownUnit);
            });
        } else {
            std::string low, high;
            const float chosen = nearestPosition(parameters, index, travel, number, unit, low, high);
            if (chosen >= 0.0f) {
                position = chosen;
                return true;
            }
            if (!low.empty()) {
                error = "'" + given + "' is out of range for " + name + ": give a value from " + low + " to " +
                        high + ", or a position such as 75%";
                return false;
            }
        }
    }
    if (pick >= 0) {
        position = float(pick) / gridSteps;
        return true;
    }
    if (travel.isSwitch())
        error = "'" + given + "' is no value of " + name + ": give on or off (or yes/no, true/false, 1/0)";
    else if (travel.isList())
        error = "'" + given + "' is no value of " + name + ": give one of " + joinNames(travel.distinct);
    else
        error = "'" + given + "' is no value of " + name + ": it shows " + travel.texts.front() + " to " +
                travel.texts.back() + "; give a value in that range or a position such as 75%";
    return false;
}

void applySettings(ParameterAccess& parameters, const Settings& settings)
{
    if (settings.empty())
        return;
    const std::vector<std::string> names = parameterNames(parameters);
    for (const auto& [name, text] : settings) {
        std::string error;
        const int index = findParameter(names, name, error);
        float position = 0.0f;
        if (index < 0 || !resolveValue(parameters, index, text, position, error))
            throw ToolError(error);
        parameters.setPosition(index, position);
    }
}

bool isSwitch(ParameterAccess& parameters, int index) { return Travel(parameters, index).isSwitch(); }

std::vector<std::string> shownValues(ParameterAccess& parameters)
{
    std::vector<std::string> shown;
    for (int i = 0; i < parameters.count(); ++i)
        shown.push_back(parameters.display(i, parameters.position(i)));
    return shown;
}

std::string describeChanges(ParameterAccess& parameters, const std::vector<std::string>& before)
{
    std::string result;
    const std::vector<std::string> now = shownValues(parameters);
    for (size_t i = 0; i < now.size(); ++i)
        if (i >= before.size() || now[i] != before[i])
            result += (result.empty() ? "" : ", ") + parameters.name(int(i)) + " " + now[i];
    return result;
}
