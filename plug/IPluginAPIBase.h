#pragma once

// Host-neutral plug-in API layer: the configuration from the definition
// record, the host's identity, the queues between the audio and the
// user-interface threads, and the idle timer that services them. A host
// binding derives from it and implements the host-edit operations.

#include "plug/HostIdentity.h"
#include "plug/IPluginBase.h"
#include "plug/IPluginDefinition.h"
#include "plug/Queue.h"
#include "plug/Timer.h"

#include <memory>
#include <string>

namespace plug {

class IPluginAPIBase : public IPluginBase
{
public:
  static constexpr int kIdleTimerIntervalMs = 20;

  explicit IPluginAPIBase(const IPluginDefinition& definition);
  ~IPluginAPIBase() override;

  int32_t GetPluginCode() const { return mPluginCode; }
  int32_t GetMakerCode() const { return mMakerCode; }
  int32_t GetVersion() const { return mVersion; }
  bool HasEditor() const { return mHasEditor; }
  /** The editor's own size from the definition record: where it opens when no size is remembered. */
  int GetOwnEditorWidth() const { return mOwnEditorWidth; }
  int GetOwnEditorHeight() const { return mOwnEditorHeight; }
  bool HostMayResize() const { return mHostResize; }
  const char* GetPluginName() const { return mPluginName.c_str(); }
  const char* GetProductName() const { return mProductName.c_str(); }
  const char* GetMakerName() const { return mMakerName.c_str(); }
  const char* GetBundleID() const { return mBundleID.c_str(); }

  /** kHostUninit until SetHost identified the host. */
  EHost GetHost() const { return mHost; }
  int GetHostVersion() const { return mHostVersion; }
  /** Identifies the host from its UTF-16 name (at most 127 units are read); only the first call counts. */
  void SetHost(const char16_t* hostName);

  /** Starts the idle timer that calls ServiceQueues. */
  void LaunchIdleTimer(int intervalMs = kIdleTimerIntervalMs);
  /** User-interface thread: hands queued MIDI and system-exclusive messages to the editor, then OnIdleTick. */
  void ServiceQueues(Timer& timer);
  void ServiceQueues();

  // From the editor.
  void PushAllParametersToHost() override;
  void BeginHostEditFromEditor(int paramIdx) override;
  void SetParameterFromEditor(int paramIdx, double normalized) override;
  void EndHostEditFromEditor(int paramIdx) override;
  bool ResizeFromEditor(int width, int height, bool needsPlatformResize) override;
  void MidiFromEditor(const IMidiMsg& message) override;
  void SysexFromEditor(const ISysEx& message) override;
  bool MessageFromEditor(int messageTag, int controlTag, int dataSize, const void* data) override;
  /** Dropped when the queue is full. */
  void QueueMidiFromEditor(const IMidiMsg& message) override;
  /** Copies at most kMaxSysExBytes data bytes (zeros without data); dropped when the queue is full. */
  void QueueSysexFromEditor(const ISysEx& message) override;

  /** Whether every parameter's value equals values[firstIdx + i] at float precision. */
  virtual bool MatchesValues(const double* values, int nValues, int firstIdx) const;
  virtual void OnHostKnown() {}
  virtual void OnIdleTick() {}
  virtual void TrackColour(int& red, int& green, int& blue) const;
  virtual void TrackName(std::string& name) const { name.clear(); }
  virtual int TrackIndex() const { return 0; }
  virtual void TrackNamespace(std::string& name) const { name.clear(); }
  virtual int TrackNamespaceIndex() const { return 0; }
  /** Queues (index, plain value) for the editor; a normalized value is denormalized first. */
  virtual void QueueParameterForEditor(int paramIdx, double value, bool normalized);
  /** Asks the host to resize the editor's window. */
  virtual bool RequestEditorResize(int /*width*/, int /*height*/) { return false; }
  virtual void BeginHostEdit(int /*paramIdx*/) {}
  virtual void EndHostEdit(int /*paramIdx*/) {}
  virtual void PerformHostEdit(int /*paramIdx*/, double /*normalized*/) {}

protected:
  IQueue<ParamTuple, 513> mParamChangeToEditorQueue;
  IQueue<IMidiMsg, 33> mMidiMsgsFromEditor;   // user-interface thread -> audio thread
  IQueue<IMidiMsg, 33> mMidiMsgsForEditor;    // audio thread -> idle timer
  IQueue<SysExData, 5> mSysExDataFromEditor;  // user-interface thread -> audio thread
  IQueue<SysExData, 5> mSysExDataForEditor;   // audio thread -> idle timer
  std::unique_ptr<Timer> mTimer;

private:
  int32_t mPluginCode;
  int32_t mMakerCode;
  int32_t mVersion;
  bool mHasEditor;
  int mOwnEditorWidth;
  int mOwnEditorHeight;
  bool mHostResize;
  std::string mPluginName;
  std::string mProductName;
  std::string mMakerName;
  std::string mBundleID;
  EHost mHost = kHostUninit;
  int mHostVersion = 0;
  SysExData mSysExWork;
};

} // namespace plug
