#include "meters.h"

#include "errors.h"
#include "plugin.h"

#include <cerrno>
#include <cstring>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace korvel::render {
namespace {

IPtr<plug::IEditorValueReadout> editorValueReadout(IComponent& component)
{
    void* readout = nullptr;
    if (component.queryInterface(plug::IEditorValueReadout_iid, &readout) != kResultOk || !readout)
        return nullptr;
    return owned(static_cast<plug::IEditorValueReadout*>(readout));
}

} // namespace

MeterProbe::MeterProbe(Plugin& plugin, std::vector<ParamId> ids)
: plugin_(plugin), readout_(editorValueReadout(plugin.component())), ids_(std::move(ids)), values_(ids_.size(), 0.0)
{
    for (auto id : ids_)
        if (!plugin.findParameter(id))
            throw RenderError("plug-in " + plugin.name() + " has no parameter " + std::to_string(id) +
                              " to read as a meter (--meter-ids)");
}

const std::vector<double>& MeterProbe::read(IParameterChanges& outputChanges)
{
    for (size_t i = 0; i < ids_.size(); ++i)
    {
        if (readout_)
        {
            values_[i] = readout_->getLastEditorValue(static_cast<int32>(ids_[i]));
            continue;
        }
        double normalized = 0.0;
        if (!lastOutputValue(outputChanges, ids_[i], normalized))
            normalized = plugin_.controller().getParamNormalized(ids_[i]);
        values_[i] = plugin_.plainFor(ids_[i], normalized);
    }
    return values_;
}

bool MeterProbe::lastOutputValue(IParameterChanges& changes, ParamId id, double& normalized) const
{
    for (int32 q = 0; q < changes.getParameterCount(); ++q)
    {
        IParamValueQueue* queue = changes.getParameterData(q);
        if (!queue || queue->getParameterId() != id || queue->getPointCount() <= 0)
            continue;
        int32 offset = 0;
        return queue->getPoint(queue->getPointCount() - 1, offset, normalized) == kResultOk;
    }
    return false;
}

MeterCsv::MeterCsv(const std::string& path, const std::string& displayName, const std::vector<ParamId>& ids)
: displayName_(displayName), file_(std::fopen(path.c_str(), "w"))
{
    if (!file_)
        throw RenderError("cannot write " + displayName + ": " + std::strerror(errno));
    std::fputs("block,first_frame", file_);
    for (auto id : ids)
        std::fprintf(file_, ",meter_%u", id);
    std::fputs(",latency\n", file_);
}

MeterCsv::~MeterCsv()
{
    if (file_)
        std::fclose(file_);
}

void MeterCsv::addRow(std::int64_t block, std::int64_t firstFrame, const std::vector<double>& meters,
                      std::uint32_t latency)
{
    std::fprintf(file_, "%lld,%lld", static_cast<long long>(block), static_cast<long long>(firstFrame));
    for (double value : meters)
        std::fprintf(file_, ",%.17g", value); // reads back as the very same double
    std::fprintf(file_, ",%u\n", latency);
}

void MeterCsv::close()
{
    bool failed = std::ferror(file_) != 0;
    failed |= std::fclose(file_) != 0;
    file_ = nullptr;
    if (failed)
        throw RenderError("cannot write " + displayName_ + ": " + std::strerror(errno));
}

MeterRecorder::MeterRecorder(Plugin& plugin, const std::vector<ParamId>& ids, const std::string& path,
                             const std::string& displayName)
: plugin_(plugin), probe_(plugin, ids), csv_(path, displayName, ids)
{
}

void MeterRecorder::record(const BlockReport& block)
{
    csv_.addRow(block.index, block.firstFrame, probe_.read(*block.outputChanges),
                plugin_.processor().getLatencySamples());
}

} // namespace korvel::render
