ardour {
	["type"]    = "EditorHook",
	name        = "KORVEL checks probe",
	author      = "KORVEL",
	description = "Runs the Lua requests that the DAW checks leave in $KORVEL_DAW_PROBE, on the GUI thread",
}

function signals ()
	return LuaSignal.Set():add ({[LuaSignal.LuaTimerDS] = true})
end

-- Every tenth of a second: request.lua, if there is one, runs; its value (or
-- error) goes to reply.txt, written under another name and renamed, so that
-- the checks never read half a reply.
function factory ()
	return function (signal, ref, ...)
		local folder = os.getenv ("KORVEL_DAW_PROBE")
		if not folder then return end
		local request = io.open (folder .. "/request.lua", "r")
		if not request then return end
		local code = request:read ("a")
		request:close ()
		os.remove (folder .. "/request.lua")
		local chunk, problem = load (code)
		local ok, value = false, problem
		if chunk then ok, value = pcall (chunk) end
		local reply = io.open (folder .. "/reply.tmp", "w")
		reply:write ((ok and "ok\n" or "error\n") .. tostring (value))
		reply:close ()
		os.rename (folder .. "/reply.tmp", folder .. "/reply.txt")
	end
end
