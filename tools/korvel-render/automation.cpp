#include "automation.h"

#include "errors.h"
#include "plugin.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace korvel::render {
namespace {

std::string trimmed(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool parseCell(const std::string& cell, double& value)
{
    auto text = trimmed(cell);
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

void addPoint(IParamValueQueue& queue, std::int64_t offset, double normalized)
{
    int32 index = 0;
    queue.addPoint(static_cast<int32>(offset), normalized, index);
}

} // namespace

std::vector<Breakpoint> readAutomationCsv(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        throw RenderError(path + ": no such file");
    std::vector<Breakpoint> points;
    bool seenData = false;
    int number = 0;
    for (std::string line; std::getline(file, line);)
    {
        ++number;
        auto text = trimmed(line);
        if (text.empty() || text[0] == '#')
            continue;
        auto comma = text.find(',');
        Breakpoint point;
        bool numeric = comma != std::string::npos && text.find(',', comma + 1) == std::string::npos &&
                       parseCell(text.substr(0, comma), point.seconds) &&
                       parseCell(text.substr(comma + 1), point.plain);
        if (!numeric)
        {
            bool header = !seenData && (text[0] < '0' || text[0] > '9') && text[0] != '-' && text[0] != '+' &&
                          text[0] != '.';
            if (header)
            {
                seenData = true;
                continue;
            }
            throw RenderError(path + ":" + std::to_string(number) + ": '" + text + "' is not 'seconds,value'");
        }
        seenData = true;
        points.push_back(point);
    }
    if (file.bad())
        throw RenderError(path + ": read error");
    try
    {
        checkBreakpoints(points, path);
    }
    catch (const UsageError& e)
    {
        throw RenderError(e.what());
    }
    return points;
}

AutomationLane::AutomationLane(ParamId id, bool stepped, std::vector<Point> points)
: id_(id), stepped_(stepped)
{
    for (const auto& point : points)
    {
        if (!points_.empty() && points_.back().frame == point.frame)
            points_.back().normalized = point.normalized;
        else
            points_.push_back(point);
    }
    if (points_.empty())
        throw RenderError("automation of parameter " + std::to_string(id) + " has no points");
}

double AutomationLane::valueAt(std::int64_t frame) const
{
    auto after = std::upper_bound(points_.begin(), points_.end(), frame,
                                  [](std::int64_t f, const Point& p) { return f < p.frame; });
    if (after == points_.begin())
        return points_.front().normalized;
    auto before = std::prev(after);
    if (after == points_.end() || stepped_ || before->frame == frame)
        return before->normalized;
    double fraction = static_cast<double>(frame - before->frame) / static_cast<double>(after->frame - before->frame);
    return before->normalized + fraction * (after->normalized - before->normalized);
}

void AutomationLane::addBlockPoints(std::int64_t first, int frames, IParamValueQueue& queue) const
{
    const std::int64_t last = first + frames - 1;
    if (first == 0)
        addPoint(queue, 0, valueAt(0));
    for (const auto& point : points_)
    {
        if (point.frame > last)
            break;
        if (stepped_ && point.frame - 1 >= first)
            addPoint(queue, point.frame - 1 - first, valueAt(point.frame - 1));
        if (point.frame >= first)
            addPoint(queue, point.frame - first, point.normalized);
    }
    bool ramping = !stepped_ && last > points_.front().frame && first < points_.back().frame;
    if (ramping)
        addPoint(queue, frames - 1, valueAt(last));
}

std::vector<AutomationLane> makeAutomationLanes(Plugin& plugin, const std::vector<AutomationSetting>& settings,
                                                double sampleRate)
{
    std::vector<AutomationLane> lanes;
    for (const auto& setting : settings)
    {
        auto breakpoints = setting.file.empty() ? setting.points : readAutomationCsv(setting.file);
        auto description = plugin.findParameter(setting.id);
        if (!description)
            throw RenderError("plug-in " + plugin.name() + " has no parameter " + std::to_string(setting.id) +
                              " to automate (see --list-params)");
        std::vector<AutomationLane::Point> points;
        for (size_t i = 0; i < breakpoints.size(); ++i)
        {
            double normalized = 0.0;
            try
            {
                normalized = plugin.normalizedFor({setting.id, breakpoints[i].plain});
            }
            catch (const RenderError& e)
            {
                auto where = setting.file.empty() ? "--ramp " + std::to_string(setting.id) : setting.file;
                throw RenderError(where + ": point " + std::to_string(i + 1) + ": " + e.what());
            }
            points.push_back({std::llround(breakpoints[i].seconds * sampleRate), normalized});
        }
        lanes.emplace_back(setting.id, description->info.stepCount > 0, std::move(points));
    }
    return lanes;
}

} // namespace korvel::render
