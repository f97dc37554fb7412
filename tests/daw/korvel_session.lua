-- Helpers for the DAW checks' scripts in Ardour's Lua session host
-- (ardour7-lua). A script reports to the Python side through lines
-- "RESULT key=value" on standard output.

io.stdout:setvbuf("no")

-- One table, so that no helper shadows a global that Ardour itself calls.
daw = {}

daw.KORVEL_UID = "F2AEE70D00DE4F4E5674726C4B525631"
daw.RATE = 48000
daw.BLOCK = 1024
daw.EXPORT_PRESET = "6b4b3bd4-6f0c-4d6e-9d2c-4b4f52564c31"

function daw.result(key, value)
  print(string.format("RESULT %s=%s", key, tostring(value)))
end

function daw.fail(message)
  print("FAILED " .. message)
  error(message)
end

function daw.start_engine()
  AudioEngine:set_backend("None (Dummy)", "", "")
  AudioEngine:set_sample_rate(daw.RATE)
  AudioEngine:set_buffer_size(daw.BLOCK)
  if AudioEngine:start(false) ~= 0 then daw.fail("the Dummy audio backend did not start") end
end

function daw.new_session(dir, name)
  daw.start_engine()
  if not create_session(dir, name, daw.RATE) then daw.fail("could not create the session " .. dir) end
end

function daw.open_session(dir, name)
  daw.start_engine()
  if not load_session(dir, name) then daw.fail("could not load the session " .. dir) end
end

function daw.add_track(name)
  local tracks = Session:new_audio_track(2, 2, nil, 1, name, ARDOUR.PresentationInfo.max_order,
                                         ARDOUR.TrackMode.Normal, true)
  if tracks:size() ~= 1 then daw.fail("could not add the track " .. name) end
  return tracks:front()
end

function daw.add_korvel(route)
  local plugin = ARDOUR.LuaAPI.new_plugin(Session, daw.KORVEL_UID, ARDOUR.PluginType.VST3, "")
  if plugin:isnil() then daw.fail("Ardour cannot instantiate KORVEL (class " .. daw.KORVEL_UID .. ")") end
  if route:add_processor_by_index(plugin, 0, nil, true) ~= 0 then daw.fail("could not insert KORVEL on " .. route:name()) end
  return plugin
end

function daw.route(name)
  local r = Session:route_by_name(name)
  if r:isnil() then daw.fail("no route " .. name) end
  return r
end

function daw.korvel(route_name)
  local proc = daw.route(route_name):nth_plugin(0)
  if proc:isnil() then daw.fail("no plug-in on " .. route_name) end
  return proc
end

-- Ardour lists the VST3 bypass parameter first: its index of a KORVEL
-- parameter is the parameter's id plus one.
function daw.set_param(proc, id, value)
  if not ARDOUR.LuaAPI.set_processor_param(proc, id + 1, value) then
    daw.fail("Ardour refused parameter " .. id .. " = " .. value)
  end
end

function daw.get_param(proc, id)
  return ARDOUR.LuaAPI.get_processor_param(proc, id + 1)
end

-- points: { {seconds, value}, ... } on the automation lane of parameter id, played back.
function daw.automate(proc, id, points)
  local control = proc:to_automatable():automation_control(
    Evoral.Parameter(ARDOUR.AutomationType.PluginAutomation, 0, id + 1), false)
  if control:isnil() then daw.fail("no automation lane for parameter " .. id) end
  local list = control:alist()
  list:clear_list()
  for _, p in ipairs(points) do
    list:add(Temporal.timepos_t(math.floor(p[1] * daw.RATE + 0.5)), p[2], false, false)
  end
  control:set_automation_state(ARDOUR.AutoState.Play)
end

-- Mute and gain are real-time controls: they change in a later process cycle
-- (after an export, once the engine runs in real time again).
function daw.set_control(control, value, what)
  Session:set_control(control, value, PBD.GroupControlDisposition.NoGroup)
  for _ = 1, 100 do
    if control:get_value() == value then return end
    ARDOUR.LuaAPI.wait_for_process_callback(1, 100)
  end
  daw.fail("Ardour did not take " .. what)
end

function daw.set_muted(route_name, muted)
  daw.set_control(daw.route(route_name):mute_control(), muted and 1 or 0, "the mute of " .. route_name)
end

-- Exports the session range through the master bus (32-bit float WAV) into folder.
function daw.export_to(folder)
  local export = Session:simple_export()
  if not export:set_preset(daw.EXPORT_PRESET) then daw.fail("Ardour does not know the checks' export preset") end
  export:set_folder(folder)
  if not export:check_outputs() then daw.fail("the master bus has no outputs to export") end
  if not export:run_export() then daw.fail("the export into " .. folder .. " failed") end
end

function daw.save()
  Session:save_state("", false, false, false)
end

function daw.finish()
  daw.result("done", 1)
  close_session()
end
