#pragma once

#include "options.h"
#include "render.h"

#include "plug/vst3/IEditorValueReadout.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvel::render {

class Plugin;

// Reads meter parameters after each block, as plain values. A plug-in with
// KORVEL's editor read-out is read there (its meters go only to its editor);
// one that writes a meter into the block's output parameter changes is read
// there; otherwise the value is whatever its controller holds.
class MeterProbe
{
public:
    MeterProbe(Plugin& plugin, std::vector<ParamId> ids); // throws for an unknown id
    const std::vector<double>& read(Steinberg::Vst::IParameterChanges& outputChanges);
    const std::vector<ParamId>& ids() const { return ids_; }

private:
    bool lastOutputValue(Steinberg::Vst::IParameterChanges& changes, ParamId id, double& normalized) const;

    Plugin& plugin_;
    Steinberg::IPtr<plug::IEditorValueReadout> readout_; // null when the plug-in has none
    std::vector<ParamId> ids_;
    std::vector<double> values_;
};

// block,first_frame,meter_<id>...,latency
class MeterCsv
{
public:
    MeterCsv(const std::string& path, const std::string& displayName, const std::vector<ParamId>& ids);
    ~MeterCsv();
    MeterCsv(const MeterCsv&) = delete;
    MeterCsv& operator=(const MeterCsv&) = delete;

    void addRow(std::int64_t block, std::int64_t firstFrame, const std::vector<double>& meters,
                std::uint32_t latency);
    void close();

private:
    std::string displayName_;
    std::FILE* file_ = nullptr;
};

// Writes one CSV row of meter readings and reported latency per block.
class MeterRecorder
{
public:
    MeterRecorder(Plugin& plugin, const std::vector<ParamId>& ids, const std::string& path,
                  const std::string& displayName);
    void record(const BlockReport& block);
    void close() { csv_.close(); }

private:
    Plugin& plugin_;
    MeterProbe probe_;
    MeterCsv csv_;
};

} // namespace korvel::render
