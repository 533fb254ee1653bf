ardour {
	["type"]    = "dsp",
	name        = "Grelk Test Tap",
	category    = "Utility",
	license     = "GPLv3",
	author      = "Grelk",
	description = [[Keeps the stereo signal passing through it in shared memory, at the transport position, so that a headless session can write out what the previous plug-in rendered.]]
}

-- shared memory: [1] highest position written + 1, then channel 0 and channel 1
local capacity = 96000

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_init (rate)
	self:shmem ():allocate (1 + 2 * capacity)
	self:shmem ():clear ()
end

function dsp_run (ins, outs, n_samples)
	if not Session:transport_rolling () then
		return
	end

	local shmem = self:shmem ()
	local filled = shmem:to_int (0):array ()
	local data = shmem:to_float (1):array ()
	local pos = Session:transport_sample ()

	for c = 1, 2 do
		local input = ins[c]:array ()
		local base = (c - 1) * capacity

		for i = 1, n_samples do
			local k = pos + i - 1
			if k >= 0 and k < capacity then
				data[base + k + 1] = input[i]
			end
		end
	end

	filled[1] = math.max (filled[1], math.min (pos + n_samples, capacity))
end
