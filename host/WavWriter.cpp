#include "WavWriter.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace rackhost {

namespace {

const uint16_t FORMAT_PCM = 1;
const uint16_t FORMAT_IEEE_FLOAT = 3;
// RIFF header (12) + fmt chunk (8 + 18) + fact chunk (8 + 4) + data header (8).
const uint32_t HEADER_BYTES = 12 + 26 + 12 + 8;

int bytesPerSample(SampleFormat format) {
	return format == SampleFormat::FLOAT32 ? 4 : 3;
}

void put16(uint8_t* p, uint16_t v) {
	p[0] = v & 0xff;
	p[1] = v >> 8;
}
void put32(uint8_t* p, uint32_t v) {
	for (int i = 0; i < 4; i++)
		p[i] = (v >> (8 * i)) & 0xff;
}

} // namespace

int32_t voltsToPcm24(float volts) {
	if (!std::isfinite(volts))
		return 0;
	float x = std::fmax(std::fmin(volts / 10.f, 1.f), -1.f);
	return (int32_t)std::lrint(x * 8388607.0);
}

int64_t WavWriter::maxFrames(int channels, SampleFormat format) {
	return (int64_t)(UINT32_MAX - HEADER_BYTES - 1) / (channels * bytesPerSample(format));
}

WavWriter::WavWriter(const std::string& path, int sampleRate, int channels, SampleFormat format)
    : path(path), sampleRate(sampleRate), channels(channels), format(format) {
	if (sampleRate <= 0 || channels < 1 || channels > 16)
		throw std::runtime_error("Cannot write " + path + ": " + std::to_string(sampleRate) + " Hz with " +
		                         std::to_string(channels) + " channels is not a WAV format");
	file = std::fopen(path.c_str(), "wb");
	if (!file)
		throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
	// Renders write a block per interface frame; fewer, larger writes.
	std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
	writeHeader();
}

WavWriter::~WavWriter() {
	if (file)
		std::fclose(file);
}

void WavWriter::writeHeader() {
	int bytes = bytesPerSample(format);
	uint64_t dataBytes = (uint64_t)frames * channels * bytes;
	uint8_t h[HEADER_BYTES];
	std::memcpy(h, "RIFF", 4);
	// A chunk of odd size is followed by a pad byte, counted by RIFF only.
	put32(h + 4, (uint32_t)(HEADER_BYTES - 8 + dataBytes + (dataBytes & 1)));
	std::memcpy(h + 8, "WAVE", 4);
	// fmt with cbSize, as non-PCM formats require; readers accept it for PCM.
	std::memcpy(h + 12, "fmt ", 4);
	put32(h + 16, 18);
	put16(h + 20, format == SampleFormat::FLOAT32 ? FORMAT_IEEE_FLOAT : FORMAT_PCM);
	put16(h + 22, (uint16_t)channels);
	put32(h + 24, (uint32_t)sampleRate);
	put32(h + 28, (uint32_t)(sampleRate * channels * bytes));
	put16(h + 32, (uint16_t)(channels * bytes));
	put16(h + 34, (uint16_t)(8 * bytes));
	put16(h + 36, 0);
	std::memcpy(h + 38, "fact", 4);
	put32(h + 42, 4);
	put32(h + 46, (uint32_t)frames);
	std::memcpy(h + 50, "data", 4);
	put32(h + 54, (uint32_t)dataBytes);
	if (std::fwrite(h, 1, sizeof(h), file) != sizeof(h))
		failed = true;
}

void WavWriter::write(const float* volts, int64_t count) {
	if (!file)
		throw std::runtime_error("Cannot write " + path + ": already closed");
	if (count <= 0)
		return;
	if (frames + count > maxFrames(channels, format))
		throw std::runtime_error("Cannot write " + path + ": a WAV file holds at most 4 GiB");
	int bytes = bytesPerSample(format);
	size_t samples = (size_t)count * channels;
	scratch.resize(samples * bytes);
	uint8_t* p = scratch.data();
	for (size_t i = 0; i < samples; i++, p += bytes) {
		if (format == SampleFormat::FLOAT32) {
			float x = std::isfinite(volts[i]) ? volts[i] / 10.f : 0.f;
			uint32_t u;
			std::memcpy(&u, &x, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
			std::memcpy(p, &u, 4);
#else
			put32(p, u);
#endif
		} else {
			uint32_t u = (uint32_t)voltsToPcm24(volts[i]);
			p[0] = u & 0xff;
			p[1] = (u >> 8) & 0xff;
			p[2] = (u >> 16) & 0xff;
		}
	}
	if (std::fwrite(scratch.data(), 1, scratch.size(), file) != scratch.size())
		failed = true;
	frames += count;
}

void WavWriter::close() {
	if (!file)
		return;
	uint64_t dataBytes = (uint64_t)frames * channels * bytesPerSample(format);
	if ((dataBytes & 1) && std::fputc(0, file) == EOF)
		failed = true;
	if (std::fseek(file, 0, SEEK_SET) != 0)
		failed = true;
	else
		writeHeader();
	if (std::fclose(file) != 0)
		failed = true;
	file = nullptr;
	if (failed)
		throw std::runtime_error("Cannot write " + path + ": write error");
}

} // namespace rackhost
