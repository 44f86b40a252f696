#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rackhost {

enum class SampleFormat {
	// IEEE float, volts / 10, not clipped.
	FLOAT32,
	// Signed 24-bit PCM, volts / 10 clipped to full scale.
	PCM24,
};

// Writes a WAV file of interleaved voltages, scaled so that +-10 V is full
// scale. The header's sizes are filled in by close(). Standard library only,
// so that the renderer on the official engine writes with it too.
class WavWriter {
  public:
	// Opens (creates or truncates) `path`; throws std::runtime_error on failure.
	WavWriter(const std::string& path, int sampleRate, int channels, SampleFormat format);
	~WavWriter();
	WavWriter(const WavWriter&) = delete;
	WavWriter& operator=(const WavWriter&) = delete;

	// Appends `frames` frames of `channels` interleaved voltages.
	void write(const float* volts, int64_t frames);
	// Completes the header and closes the file; throws on a write error.
	void close();

	int64_t framesWritten() const {
		return frames;
	}
	// Largest number of frames a WAV file can hold in this format.
	static int64_t maxFrames(int channels, SampleFormat format);

  private:
	void writeHeader();

	std::string path;
	FILE* file = nullptr;
	int sampleRate;
	int channels;
	SampleFormat format;
	int64_t frames = 0;
	bool failed = false;
	std::vector<uint8_t> scratch;
};

// The 24-bit PCM value of a voltage: volts / 10, clipped to +-1, times 2^23 - 1.
int32_t voltsToPcm24(float volts);

} // namespace rackhost
