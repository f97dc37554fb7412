-- Run by ardour7-lua: compiles an EditorHook script into the form in which
-- Ardour's GUI keeps its hooks (the "ui_scripts" file of its configuration
-- folder): a Lua chunk that fills the table s with the script's name, its
-- source and its factory function as Ardour's Lua 5.3 bytecode. The caller
-- wraps the chunk (base64) in the XML.
-- Usage: ardour7-lua make_ui_scripts.lua HOOK.lua OUT.txt
function ardour (header) script_name = header.name end

local source = io.open (arg[1], "r"):read ("a")
load (source) ()
local state = string.format ('s = {} s["n"] = %q s["s"] = %q s["f"] = %q s["a"] = {} ',
                             script_name, source, string.dump (factory, true))
local out = io.open (arg[2], "w")
out:write (state)
out:close ()
print ("RESULT done=1")
