ardour {
	["type"]    = "dsp",
	name        = "Grelk Test Feed",
	category    = "Utility",
	license     = "GPLv3",
	author      = "Grelk",
	description = [[Plays the stereo signal put into its shared memory, at the transport position, so that a headless session can feed a file into the next plug-in.]]
}

-- shared memory: [1] length in samples, then channel 0 and channel 1
local capacity = 96000

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_init (rate)
	self:shmem ():allocate (1 + 2 * capacity)
	self:shmem ():clear ()
end

function dsp_run (ins, outs, n_samples)
	local shmem = self:shmem ()
	local length = shmem:to_int (0):array ()[1]
	local data = shmem:to_float (1):array ()
	local pos = Session:transport_sample ()
	local rolling = Session:transport_rolling ()

	for c = 1, 2 do
		local out = outs[c]:array ()
		local base = (c - 1) * capacity

		for i = 1, n_samples do
			local k = pos + i - 1
			if rolling and k >= 0 and k < length then
				out[i] = data[base + k + 1]
			else
				out[i] = 0
			end
		end
	end
end
