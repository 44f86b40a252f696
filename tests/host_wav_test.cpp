// The WAV writer, checked by reading the files back as a player would.
#include <gtest/gtest.h>

#include <cmath>

#include "WavWriter.hpp"
#include "host_test_support.hpp"

using rackhost::SampleFormat;
using rackhost::WavWriter;

TEST(WavWriter, FloatFileHasIeeeHeaderAndVoltsOverTenUnclipped) {
	hosttest::TempDir tmp;
	std::string path = tmp.path("f.wav");
	const float volts[] = {0.f, 5.f, -10.f, 20.f, NAN, -2.5f, INFINITY};
	{
		WavWriter w(path, 44100, 1, SampleFormat::FLOAT32);
		w.write(volts, 3);
		w.write(volts + 3, 4);
		EXPECT_EQ(w.framesWritten(), 7);
		w.close();
	}
	hosttest::Wav wav = hosttest::readWav(path);
	ASSERT_EQ(wav.error, "");
	EXPECT_EQ(wav.formatTag, 3);
	EXPECT_EQ(wav.channels, 1);
	EXPECT_EQ(wav.sampleRate, 44100u);
	EXPECT_EQ(wav.bits, 32);
	EXPECT_EQ(wav.blockAlign, 4);
	EXPECT_EQ(wav.byteRate, 44100u * 4);
	EXPECT_EQ(wav.dataBytes, 28u);
	EXPECT_TRUE(wav.hasFact);
	EXPECT_EQ(wav.factFrames, 7u);
	EXPECT_EQ(wav.riffSize, wav.fileSize - 8);
	const float expected[] = {0.f, 0.5f, -1.f, 2.f, 0.f, -0.25f, 0.f};
	ASSERT_EQ(wav.floats.size(), 7u);
	for (int i = 0; i < 7; i++)
		EXPECT_EQ(wav.floats[i], expected[i]) << i;
}

TEST(WavWriter, Pcm24IsScaledToFullScaleAndClipped) {
	hosttest::TempDir tmp;
	std::string path = tmp.path("s24.wav");
	// Stereo frames: (10, -10), (5, -5), (15, -1e30), (0.001, NaN).
	const float volts[] = {10.f, -10.f, 5.f, -5.f, 15.f, -1e30f, 0.001f, NAN};
	{
		WavWriter w(path, 96000, 2, SampleFormat::PCM24);
		w.write(volts, 4);
		w.close();
	}
	hosttest::Wav wav = hosttest::readWav(path);
	ASSERT_EQ(wav.error, "");
	EXPECT_EQ(wav.formatTag, 1);
	EXPECT_EQ(wav.channels, 2);
	EXPECT_EQ(wav.sampleRate, 96000u);
	EXPECT_EQ(wav.bits, 24);
	EXPECT_EQ(wav.blockAlign, 6);
	EXPECT_EQ(wav.byteRate, 96000u * 6);
	EXPECT_EQ(wav.dataBytes, 24u);
	ASSERT_EQ(wav.frames(), 4u);
	const int32_t full = 8388607;
	EXPECT_EQ(wav.ints[0], full);
	EXPECT_EQ(wav.ints[1], -full);
	EXPECT_NEAR(wav.ints[2], full / 2, 1);
	EXPECT_NEAR(wav.ints[3], -full / 2, 1);
	EXPECT_EQ(wav.ints[4], full);
	EXPECT_EQ(wav.ints[5], -full);
	EXPECT_EQ(wav.ints[6], 839);
	EXPECT_EQ(wav.ints[7], 0);
}

TEST(WavWriter, OddSizedDataIsPaddedAndCounted) {
	hosttest::TempDir tmp;
	std::string path = tmp.path("odd.wav");
	const float volts[] = {1.f, 2.f, 3.f};
	{
		WavWriter w(path, 48000, 1, SampleFormat::PCM24);
		w.write(volts, 3);
		w.close();
	}
	hosttest::Wav wav = hosttest::readWav(path);
	ASSERT_EQ(wav.error, "");
	EXPECT_EQ(wav.dataBytes, 9u);
	EXPECT_EQ(wav.fileSize % 2, 0u);
	EXPECT_EQ(wav.riffSize, wav.fileSize - 8);
	ASSERT_EQ(wav.frames(), 3u);
	EXPECT_NEAR(wav.ints[2], 0.3 * 8388607, 1);
}

TEST(WavWriter, AnEmptyRecordingIsStillAValidFile) {
	hosttest::TempDir tmp;
	std::string path = tmp.path("empty.wav");
	{
		WavWriter w(path, 48000, 2, SampleFormat::FLOAT32);
		w.close();
	}
	hosttest::Wav wav = hosttest::readWav(path);
	EXPECT_EQ(wav.error, "");
	EXPECT_EQ(wav.channels, 2);
	EXPECT_EQ(wav.dataBytes, 0u);
	EXPECT_EQ(wav.riffSize, wav.fileSize - 8);
}

TEST(WavWriter, UnwritablePathsAndImpossibleFormatsAreRefused) {
	EXPECT_THROW(WavWriter("/nonexistent-dir/x.wav", 48000, 1, SampleFormat::FLOAT32), std::runtime_error);
	hosttest::TempDir tmp;
	EXPECT_THROW(WavWriter(tmp.path("a.wav"), 0, 1, SampleFormat::FLOAT32), std::runtime_error);
	EXPECT_THROW(WavWriter(tmp.path("b.wav"), 48000, 0, SampleFormat::PCM24), std::runtime_error);
	// 4 GiB of 24-bit stereo: a little over 715 million frames.
	EXPECT_EQ(WavWriter::maxFrames(2, SampleFormat::PCM24), (int64_t)(UINT32_MAX - 59) / 6);
}
