#include "snapshot.h"

#include "host_window.h"

#include "buses.h"
#include "errors.h"
#include "options.h"
#include "plugin.h"
#include "render.h"
#include "sound_file.h"

#include "plug/vst3/IEditorFrameCapture.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/memorystream.h"

#include <stb_image_write.h>

#include <cstdio>
#include <memory>

using namespace Steinberg;
using korvel::render::RenderError;
using korvel::render::UsageError;

namespace korvel::snapshot {
namespace {

constexpr const char* kProgram = "korvel-snapshot";

#ifdef _WIN32
const char* const kPlatformType = kPlatformTypeHWND;
#else
const char* const kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

struct Options
{
    std::string bundle;
    std::string output;
    std::string input;
    std::string stateIn;
    std::vector<render::ParamSetting> params;
    int scale = 1;
    bool help = false;
};

int parseScale(const std::string& text)
{
    if (text == "1" || text == "2")
        return text[0] - '0';
    throw UsageError("--scale: '" + text + "' is not 1 or 2");
}

Options parseOptions(const std::vector<std::string>& args)
{
    Options options;
    options.bundle = KORVEL_DEFAULT_BUNDLE;
    const std::map<std::string, render::OptionSetter> valued {
        {"--plugin", [&](const std::string& v) { options.bundle = v; }},
        {"--out", [&](const std::string& v) { options.output = v; }},
        {"--in", [&](const std::string& v) { options.input = v; }},
        {"--state", [&](const std::string& v) { options.stateIn = v; }},
        {"--param", [&](const std::string& v) { addParamSetting(options.params, render::parseParamSetting(v)); }},
        {"--scale", [&](const std::string& v) { options.scale = parseScale(v); }},
    };
    const std::map<std::string, bool*> flags {{"--help", &options.help}, {"-h", &options.help}};
    render::parseArguments(args, valued, flags);
    if (!options.help && options.output.empty())
        throw UsageError("missing --out");
#ifndef KORVEL_SNAPSHOT_READS_AUDIO
    if (!options.input.empty())
        throw UsageError("--in: this build reads no audio files (the Linux build does, through libsndfile)");
#endif
    return options;
}

const char* usageText()
{
    return R"(usage: korvel-snapshot [--plugin BUNDLE] --out FILE.png [--scale 1|2] [--param ID=VALUE]...
                       [--state FILE] [--in AUDIO]

Opens the editor of KORVEL (or another plug-in of its framework) the way a
host does, in a window of its own that is never shown, has it draw one frame
with OpenGL and writes the frame as a PNG. Needs an X display (DISPLAY; under
Wine too).

  --plugin BUNDLE      VST3 bundle (default: the KORVEL bundle of this build)
  --out FILE.png       the picture to write
  --scale 1|2          the host's content scale: 2 draws the editor at twice
                       the size with the double-resolution artwork (default 1)
  --param ID=VALUE     set a parameter by ID to a plain value (repeatable; the
                       IDs and ranges are those of korvel-render --list-params)
  --state FILE         load a component state first (--param values then apply)
  --in AUDIO           process this file (mono or stereo, any format
                       libsndfile reads) before the editor opens, so the
                       meters show its last readings (Linux build); without
                       it the meters rest as in an editor opened before
                       playback
  -h, --help           show this text
)";
}

#ifdef KORVEL_SNAPSHOT_READS_AUDIO
std::unique_ptr<render::AudioSource> openInput(const std::string& path)
{
    auto reader = std::make_unique<render::SoundReader>(path);
    if (reader->channels() < 1 || reader->channels() > 2)
        throw RenderError(path + ": " + std::to_string(reader->channels()) +
                          " channels; the input must be mono or stereo");
    return reader;
}

// The file goes through the processor as in a host that plays it before the
// editor is opened: the meters show what the processing last reported.
void process(render::Plugin& plugin, const std::string& path,
             const std::vector<std::pair<render::ParamId, double>>& changes)
{
    auto input = openInput(path);
    auto buses = render::arrangeBuses(plugin.component(), plugin.processor(), input->channels(), 0);
    render::RenderJob job;
    job.input = input.get();
    job.initialChanges = changes;
    render::render(plugin, buses, job);
}
#endif

struct Picture
{
    int32 width = 0;
    int32 height = 0;
    IPtr<MemoryStream> rgba = owned(new MemoryStream);
};

// Closes the view on every way out, as a host does before releasing it.
class AttachedView
{
public:
    AttachedView(IPlugView& view, const HostWindow& window, const std::string& name) : view_(view)
    {
        view_.setFrame(window.frame());
        if (view_.attached(window.parent(), kPlatformType) != kResultOk)
        {
            view_.setFrame(nullptr);
            throw RenderError("the editor of " + name + " did not open (no OpenGL 2.1 with framebuffer objects on "
                              "this display?)");
        }
    }
    ~AttachedView()
    {
        view_.removed();
        view_.setFrame(nullptr);
    }

private:
    IPlugView& view_;
};

Picture drawEditor(render::Plugin& plugin, int scale)
{
    const std::string& name = plugin.name();
    auto view = owned(plugin.controller().createView(Vst::ViewType::kEditor));
    if (!view)
        throw RenderError("plug-in " + name + " has no editor");
    if (view->isPlatformTypeSupported(kPlatformType) != kResultTrue)
        throw RenderError("the editor of " + name + " does not open in a " + kPlatformType + " window");
    IPtr<plug::IEditorFrameCapture> capture;
    void* answer = nullptr;
    if (view->queryInterface(plug::IEditorFrameCapture_iid, &answer) == kResultOk && answer)
        capture = owned(static_cast<plug::IEditorFrameCapture*>(answer));
    if (!capture)
        throw RenderError("the editor of " + name +
                          " cannot hand over a frame (only plug-ins of KORVEL's framework can)");
    if (scale != 1)
    {
        FUnknownPtr<IPlugViewContentScaleSupport> scaling(view);
        if (!scaling || scaling->setContentScaleFactor(static_cast<float>(scale)) != kResultOk)
            throw RenderError("the editor of " + name + " takes no content scale");
    }
    ViewRect size;
    if (view->getSize(&size) != kResultOk || size.getWidth() <= 0 || size.getHeight() <= 0)
        throw RenderError("the editor of " + name + " tells no size");

    HostWindow window(size.getWidth() * scale, size.getHeight() * scale);
    AttachedView attached(*view, window, name);
    Picture picture;
    if (capture->captureFrame(picture.rgba, &picture.width, &picture.height) != kResultOk || picture.width <= 0 ||
        picture.height <= 0 || picture.rgba->getSize() != int64(picture.width) * picture.height * 4)
        throw RenderError("the editor of " + name + " could not draw its frame");
    return picture;
}

void writePng(const Picture& picture, const std::string& path)
{
    // The editor's frame is opaque: its alpha carries nothing a viewer should see.
    auto* pixels = reinterpret_cast<unsigned char*>(picture.rgba->getData());
    const int64 count = int64(picture.width) * picture.height;
    for (int64 i = 0; i < count; ++i)
        pixels[i * 4 + 3] = 255;
    if (!stbi_write_png(path.c_str(), picture.width, picture.height, 4, pixels, picture.width * 4))
    {
        std::remove(path.c_str());
        throw RenderError("cannot write " + path);
    }
}

int takeSnapshot(const Options& options, std::ostream& out)
{
    render::Plugin plugin(options.bundle);
    if (!options.stateIn.empty())
        plugin.loadState(options.stateIn);
    // The editor shows what the controller holds; the processor receives the
    // settings with the audio, if there is any.
    [[maybe_unused]] const auto changes = applyParamSettings(plugin, options.params);
#ifdef KORVEL_SNAPSHOT_READS_AUDIO
    if (!options.input.empty())
        process(plugin, options.input, changes);
#endif
    const Picture picture = drawEditor(plugin, options.scale);
    writePng(picture, options.output);
    out << options.output << ": " << picture.width << " x " << picture.height << "\n";
    return 0;
}

} // namespace

int runSnapshot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    try
    {
        const Options options = parseOptions(args);
        if (options.help)
        {
            out << usageText();
            return 0;
        }
        return takeSnapshot(options, out);
    }
    catch (const UsageError& e)
    {
        err << kProgram << ": " << e.what() << " (see --help)\n";
        return 2;
    }
    catch (const std::exception& e)
    {
        err << kProgram << ": " << e.what() << "\n";
        return 1;
    }
}

} // namespace korvel::snapshot
