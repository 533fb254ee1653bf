ardour {
	["type"]    = "dsp",
	name        = "Grelk Test Probe",
	category    = "Utility",
	license     = "GPLv3",
	author      = "Grelk",
	description = [[Lets a headless session play a file into the next plug-in (feed) or keep what the previous plug-in made (tap), through shared memory indexed by the transport position.]]
}

-- shared memory: [1] feed: length to play; tap: highest position written + 1;
-- then channel 0 and channel 1
local capacity = 96000

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_params ()
	return { { ["type"] = "input", name = "Tap", min = 0, max = 1, default = 0, toggled = true } }
end

function dsp_init (rate)
	self:shmem ():allocate (1 + 2 * capacity)
	self:shmem ():clear ()
end

function dsp_run (ins, outs, n_samples)
	local tap = CtrlPorts:array ()[1] > 0.5
	local rolling = Session:transport_rolling ()
	if tap and not rolling then
		return
	end

	local shmem = self:shmem ()
	local count = shmem:to_int (0):array ()
	local data = shmem:to_float (1):array ()
	local pos = Session:transport_sample ()

	for c = 1, 2 do
		local buffer = tap and ins[c]:array () or outs[c]:array ()
		local base = (c - 1) * capacity

		for i = 1, n_samples do
			local k = pos + i - 1
			local inside = k >= 0 and k < capacity
			if tap then
				if inside then data[base + k + 1] = buffer[i] end
			else
				buffer[i] = (rolling and inside and k < count[1]) and data[base + k + 1] or 0
			end
		end
	end

	if tap then
		count[1] = math.max (count[1], math.min (pos + n_samples, capacity))
	end
end
