-- Headless Ardour session for the Grelk DAW test, driven by run_daw_test.py.
-- Environment: GRELK_FORMAT (LV2 or VST3), GRELK_PLUGIN (URI or name),
-- GRELK_SESSION_DIR, GRELK_INPUT (float WAV), GRELK_OUTPUT (float WAV to
-- write), GRELK_PARAMS ("index=value ..." normalised), GRELK_PHASE ("create":
-- build, render, save; "reload": open the saved session, render).
--
-- Rendering plays the transport over the input on the dummy backend: a Lua
-- probe before the plug-in plays the file, another after it keeps what the
-- plug-in made. Ardour 7.3's export is avoided: in this build it crashes in
-- about one run in three while tearing down its export graph.

local function env (name)
	local v = os.getenv (name)
	assert (v and v ~= "", "missing " .. name)
	return v
end

local format = env ("GRELK_FORMAT")
local phase = env ("GRELK_PHASE")
local session_dir = env ("GRELK_SESSION_DIR")
local capacity = 96000

local function read_float_wav (path)
	local f = assert (io.open (path, "rb"))
	local bytes = f:read ("a")
	f:close ()
	assert (bytes:sub (1, 4) == "RIFF" and bytes:sub (9, 12) == "WAVE", "not a WAV file")
	local pos, channels, data_pos, data_size = 13
	while pos < #bytes do
		local id, size = bytes:sub (pos, pos + 3), string.unpack ("<I4", bytes, pos + 4)
		if id == "fmt " then
			local tag, ch = string.unpack ("<I2I2", bytes, pos + 8)
			assert (tag == 3, "input must be 32-bit float")
			channels = ch
		elseif id == "data" then
			data_pos, data_size = pos + 8, size
		end
		pos = pos + 8 + size + (size % 2)
	end
	assert (channels == 2 and data_pos, "input must be stereo")
	local frames = data_size // 8
	local left, right = {}, {}
	for i = 1, frames do
		left[i], right[i] = string.unpack ("<ff", bytes, data_pos + (i - 1) * 8)
	end
	return left, right, frames
end

local function find_route ()
	for r in Session:get_routes ():iter () do
		if r:name () == "Grelk" then return r end
	end
end

-- The feed's shared memory is not saved with the session, so it is filled
-- in every phase.
local function fill_feed (route, left, right, frames)
	assert (frames <= capacity, "input too long")
	local feed = route:nth_plugin (0):to_insert ():plugin (0):to_luaproc ()
	assert (not feed:isnil (), "feed missing")
	local shmem = feed:shmem ()
	shmem:to_float (1):set_table (left, frames)
	shmem:to_float (1 + capacity):set_table (right, frames)
	shmem:to_int (0):array ()[1] = frames
end

local function write_float_wav (path, channels, frames)
	local parts = {}
	for i = 1, frames do
		parts[i] = string.pack ("<ff", channels[1][i], channels[2][i])
	end
	local data = table.concat (parts)
	local fmt = string.pack ("<I2I2I4I4I2I2", 3, 2, Session:nominal_sample_rate (), Session:nominal_sample_rate () * 8, 8, 32)
	local body = "WAVE" .. "fmt " .. string.pack ("<I4", #fmt) .. fmt .. "data" .. string.pack ("<I4", #data) .. data
	local f = assert (io.open (path, "wb"))
	f:write ("RIFF" .. string.pack ("<I4", #body) .. body)
	f:close ()
end

local function wait_for (what, condition)
	for _ = 1, 2000 do
		if condition () then return end
		ARDOUR.LuaAPI.usleep (10000)
	end
	error ("timed out waiting for " .. what)
end

local function render (route, frames)
	local tap = route:nth_plugin (2):to_insert ():plugin (0):to_luaproc ()
	assert (not tap:isnil (), "tap missing")
	local shmem = tap:shmem ()
	shmem:clear ()

	local ui = ARDOUR.TransportRequestSource.TRS_UI
	Session:request_locate (0, false, ARDOUR.LocateTransportDisposition.MustStop, ui)
	wait_for ("the locate", function () return Session:transport_stopped () and Session:transport_sample () == 0 end)
	Session:request_roll (ui)
	wait_for ("the render", function () return shmem:to_int (0):array ()[1] >= frames end)
	Session:request_stop (false, false, ui)
	wait_for ("the stop", function () return Session:transport_stopped () end)

	local data = shmem:to_float (1):array ()
	local out = { {}, {} }
	for i = 1, frames do
		out[1][i] = data[i]
		out[2][i] = data[capacity + i]
	end
	write_float_wav (env ("GRELK_OUTPUT"), out, frames)
end

ARDOUR.config ():set_hide_dummy_backend (false)
assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no dummy backend")

local left, right, frames = read_float_wav (env ("GRELK_INPUT"))

if phase == "create" then
	assert (create_session (session_dir, "grelk", 48000), "cannot create the session")

	local route = Session:new_audio_route (2, 2, nil, 1, "Grelk", ARDOUR.PresentationInfo.Flag.AudioBus, ARDOUR.PresentationInfo.max_order):front ()
	local feed = ARDOUR.LuaAPI.new_luaproc (Session, "Grelk Test Probe")
	assert (not feed:isnil (), "probe script not found")
	route:add_processor_by_index (feed, 0, nil, true)

	local type = format == "VST3" and ARDOUR.PluginType.VST3 or ARDOUR.PluginType.LV2
	local plugin = ARDOUR.LuaAPI.new_plugin (Session, env ("GRELK_PLUGIN"), type, "")
	assert (not plugin:isnil (), "Ardour cannot load the " .. format .. " plug-in")
	route:add_processor_by_index (plugin, 1, nil, true)

	local tap = ARDOUR.LuaAPI.new_luaproc (Session, "Grelk Test Probe")
	assert (not tap:isnil (), "probe script not found")
	assert (ARDOUR.LuaAPI.set_processor_param (tap, 0, 1), "cannot make the probe a tap")
	route:add_processor_by_index (tap, 2, nil, true)

	local settings = os.getenv ("GRELK_PARAMS")
	if settings and settings ~= "" then
		for index, value in settings:gmatch ("(%d+)=([%d.]+)") do
			assert (ARDOUR.LuaAPI.set_processor_param (plugin, tonumber (index), tonumber (value)), "cannot set parameter " .. index)
		end
	end

	print ("block size", Session:get_block_size ())
	fill_feed (route, left, right, frames)
	render (route, frames)
	Session:save_state ("", false, false, false, false, false)
	close_session ()
else
	assert (load_session (session_dir, "grelk"), "cannot reopen the session")
	local route = assert (find_route (), "route lost")
	assert (route:nth_plugin (1):to_insert ():plugin (0):name () == "Grelk", "plug-in lost")
	print ("block size", Session:get_block_size ())
	fill_feed (route, left, right, frames)
	render (route, frames)
	close_session ()
end

print ("done")
