#include "ParameterMatch.h"

#include "EffectLoader.h"

#include "hosting/VSTPlugIn.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

std::vector<std::string> words(const std::string& normalised)
{
    std::vector<std::string> result;
    std::istringstream in(normalised);
    for (std::string w; in >> w;)
        result.push_back(w);
    return result;
}

std::string compact(const std::string& normalised)
{
    std::string result;
    for (char c : normalised)
        if (c != ' ')
            result += c;
    return result;
}

std::string joinNames(const std::vector<std::string>& names)
{
    std::string result;
    for (const std::string& n : names)
        result += (result.empty() ? "" : ", ") + n;
    return result;
}

// Parses the whole of `text` (surrounding blanks allowed) as a number.
bool parseNumber(const std::string& text, double& number)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    number = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(number))
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    return *end == '\0';
}

// A display text that starts with a number ("7.50", "8", "-3.0 dB").
bool leadingNumber(const std::string& text, double& number)
{
    const char* begin = text.c_str();
    while (*begin == ' ')
        ++begin;
    char* end = nullptr;
    number = std::strtod(begin, &end);
    return end != begin && std::isfinite(number);
}

std::string display(VSTPlugIn& plugIn, int parameter, float value)
{
    plugIn.setParameter(parameter, value);
    char text[32] = {};
    plugIn.getParameterDisplay(parameter, text);
    std::string s(text);
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

constexpr int gridSteps = 1000;

} // namespace

std::string normaliseName(const std::string& text)
{
    std::string result;
    for (unsigned char c : text) {
        char lower = static_cast<char>(std::tolower(c));
        if (std::isalnum(c))
            result += lower;
        else if (!result.empty() && result.back() != ' ')
            result += ' ';
    }
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

std::vector<std::string> parameterNames(VSTPlugIn& plugIn)
{
    std::vector<std::string> names;
    for (int i = 0; i < plugIn.getParameterCount(); ++i) {
        char text[32] = {};
        plugIn.getParameterName(i, text);
        names.push_back(text);
    }
    return names;
}

int findParameter(const std::vector<std::string>& names, const std::string& wanted,
                  std::string& error)
{
    const std::string target = normaliseName(wanted);
    const std::vector<std::string> targetWords = words(target);
    if (target.empty()) {
        error = "a parameter name is missing before '='; valid names: " + joinNames(names);
        return -1;
    }
    // Three ever looser tests; the first that picks anything decides.
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<int> hits;
        for (size_t i = 0; i < names.size(); ++i) {
            const std::string name = normaliseName(names[i]);
            bool hit = false;
            if (pass == 0) {
                hit = name == target || compact(name) == compact(target);
            } else if (pass == 1) {
                const std::vector<std::string> nameWords = words(name);
                for (size_t start = 0; !hit && start + targetWords.size() <= nameWords.size(); ++start)
                    hit = std::equal(targetWords.begin(), targetWords.end(), nameWords.begin() + start);
            } else {
                hit = name.compare(0, target.size(), target) == 0;
            }
            if (hit)
                hits.push_back(static_cast<int>(i));
        }
        if (hits.size() == 1)
            return hits[0];
        if (hits.size() > 1) {
            std::vector<std::string> candidates;
            for (int i : hits)
                candidates.push_back(names[i]);
            error = "parameter '" + wanted + "' is ambiguous: " + joinNames(candidates);
            return -1;
        }
    }
    error = "unknown parameter '" + wanted + "'; valid names: " + joinNames(names);
    return -1;
}

bool resolveValue(VSTPlugIn& plugIn, int parameter, const std::string& text, float& value,
                  std::string& error)
{
    double number = 0.0;
    const bool isNumber = parseNumber(text, number);
    if (isNumber && number >= 0.0 && number <= 1.0) {
        value = static_cast<float>(number);
        return true;
    }

    const float original = plugIn.getParameter(parameter);
    std::vector<std::string> texts(gridSteps + 1);
    std::vector<double> numbers(gridSteps + 1, 0.0);
    bool allNumeric = true;
    for (int i = 0; i <= gridSteps; ++i) {
        texts[i] = display(plugIn, parameter, float(i) / gridSteps);
        allNumeric = leadingNumber(texts[i], numbers[i]) && allNumeric;
    }

    // The middle of the first run of grid points that fit best: for stepped
    // parameters that is the middle of the step, safe from its edges.
    auto middleOfRun = [&](const std::vector<double>& distance, double best) {
        int first = 0;
        while (distance[first] != best)
            ++first;
        int last = first;
        while (last < gridSteps && distance[last + 1] == best)
            ++last;
        return (first + last) / 2;
    };

    bool found = false;
    if (isNumber && allNumeric) {
        const auto [low, high] = std::minmax_element(numbers.begin(), numbers.end());
        double largestStep = 0.0;
        for (int i = 0; i < gridSteps; ++i)
            largestStep = std::max(largestStep, std::fabs(numbers[i + 1] - numbers[i]));
        if (number >= *low - largestStep / 2 && number <= *high + largestStep / 2) {
            std::vector<double> distance(gridSteps + 1);
            for (int i = 0; i <= gridSteps; ++i)
                distance[i] = std::fabs(numbers[i] - number);
            const double best = *std::min_element(distance.begin(), distance.end());
            int pick = middleOfRun(distance, best);
            float chosen = float(pick) / gridSteps;
            // Between two grid points the display may still hit the number:
            // bisect the interval whose ends lie on either side of it.
            if (best > 0.0) {
                for (int i = std::max(pick - 1, 0); i < std::min(pick + 1, gridSteps); ++i) {
                    if ((numbers[i] - number) * (numbers[i + 1] - number) > 0.0)
                        continue;
                    float a = float(i) / gridSteps, b = float(i + 1) / gridSteps;
                    const bool rising = numbers[i + 1] > numbers[i];
                    double bestDistance = best;
                    for (int step = 0; step < 30; ++step) {
                        const float mid = 0.5f * (a + b);
                        double shown = 0.0;
                        leadingNumber(display(plugIn, parameter, mid), shown);
                        if (std::fabs(shown - number) < bestDistance) {
                            bestDistance = std::fabs(shown - number);
                            chosen = mid;
                        }
                        if ((shown < number) == rising)
                            a = mid;
                        else
                            b = mid;
                    }
                    break;
                }
            }
            value = chosen;
            found = true;
        } else {
            error = "value '" + text + "' is out of range: it shows " + texts.front() + " to " +
                    texts.back() + " (or give a number from 0 to 1)";
        }
    } else {
        const std::string target = normaliseName(text);
        std::vector<double> distance(gridSteps + 1);
        bool any = false;
        for (int i = 0; i <= gridSteps; ++i) {
            distance[i] = normaliseName(texts[i]) == target ? 0.0 : 1.0;
            any = any || distance[i] == 0.0;
        }
        if (any) {
            value = float(middleOfRun(distance, 0.0)) / gridSteps;
            found = true;
        } else {
            std::vector<std::string> distinct;
            for (const std::string& t : texts)
                if (std::find(distinct.begin(), distinct.end(), t) == distinct.end())
                    distinct.push_back(t);
            if (distinct.size() <= 8)
                error = "value '" + text + "' is not one of " + joinNames(distinct) +
                        " (or give a number from 0 to 1)";
            else
                error = "value '" + text + "' does not match: it shows " + texts.front() +
                        " to " + texts.back() + " (or give a number from 0 to 1)";
        }
    }
    plugIn.setParameter(parameter, original);
    return found;
}

void applySettings(VSTPlugIn& plugIn,
                   const std::vector<std::pair<std::string, std::string>>& settings)
{
    if (settings.empty())
        return;
    const std::vector<std::string> names = parameterNames(plugIn);
    for (const auto& [name, text] : settings) {
        std::string error;
        const int index = findParameter(names, name, error);
        if (index < 0)
            throw ToolError(error);
        float value = 0.0f;
        if (!resolveValue(plugIn, index, text, value, error))
            throw ToolError(names[index] + ": " + error);
        plugIn.setParameter(index, value);
    }
}
