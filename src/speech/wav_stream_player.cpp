#include "speech/wav_stream_player.h"

#include <vector>

#include "speech/pcm_player.h"

namespace bc {
namespace {

// Marker tags carry the run they belong to (a marker of a run already cut off
// may still be on its way), whether they close the stretch, and the byte
// offset they stand at.
constexpr int kEpochShift = 40;
constexpr uint64_t kFinalBit = uint64_t{1} << 39;
constexpr uint64_t kOffsetMask = kFinalBit - 1;

uint64_t Tag(uint64_t epoch, uint64_t offset, bool final) {
  return (epoch << kEpochShift) | (final ? kFinalBit : 0) | (offset & kOffsetMask);
}

// How much is handed over at a time, and how far the feeder runs ahead of the
// output: the position moves in steps of one piece; memory holds at most the
// lead and one piece, however long the file.
constexpr int kPiecesPerSecond = 20;
constexpr int kLeadMs = 500;

}  // namespace

WavStreamPlayer::WavStreamPlayer(std::shared_ptr<const WavFileReader> wav, bool forceSilent)
    : wav_(std::move(wav)) {
  player_ = std::make_unique<PcmPlayer>(
      wav_->format(),
      [this](uint64_t tag, PcmPlayer::MarkerKind kind) {
        OnMarker(tag, kind == PcmPlayer::MarkerKind::End);
      },
      forceSilent);
}

WavStreamPlayer::~WavStreamPlayer() {
  Stop();
  player_.reset();
}

void WavStreamPlayer::Start(uint64_t from) {
  const uint64_t epoch = ++epoch_;
  player_->Clear(epoch);
  JoinFeeder();
  paused_ = false;
  start_ = from;
  position_ = from;
  firstAudio_ = false;
  cutShort_ = false;
  playing_ = true;
  feeder_ = std::thread([this, epoch, from] { Feed(epoch, from); });
}

void WavStreamPlayer::Stop() {
  const uint64_t epoch = ++epoch_;
  player_->Clear(epoch);
  JoinFeeder();
  paused_ = false;
  playing_ = false;
}

void WavStreamPlayer::SetPaused(bool paused) {
  paused_ = paused;
  player_->SetPaused(paused);
}

void WavStreamPlayer::JoinFeeder() {
  if (feeder_.joinable()) {
    feeder_.join();
  }
}

std::chrono::steady_clock::time_point WavStreamPlayer::FirstAudioAt() const {
  return std::chrono::steady_clock::time_point(
      std::chrono::steady_clock::duration(firstAudioAt_.load()));
}

bool WavStreamPlayer::IsSilent() const {
  return player_->IsSilent();
}

void WavStreamPlayer::Feed(uint64_t epoch, uint64_t from) {
  const uint64_t total = wav_->sampleBytes();
  const WavFormat& format = wav_->format();
  const auto block = static_cast<uint64_t>(format.BlockAlign());
  const auto rate = static_cast<uint64_t>(format.BytesPerSecond());
  const uint64_t piece = std::max(block, rate / kPiecesPerSecond / block * block);
  const uint64_t lead = rate * kLeadMs / 1000;
  const auto stopped = [this, epoch] { return epoch_.load() != epoch; };
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(piece, total)));

  player_->AppendMarker(epoch, Tag(epoch, 0, false), PcmPlayer::MarkerKind::Start);
  uint64_t at = std::min(from, total);
  while (at < total) {
    if (!player_->WaitForRoom(static_cast<size_t>(lead), stopped)) {
      return;
    }
    const auto want = static_cast<size_t>(std::min(piece, total - at));
    size_t got = wav_->ReadSomeSamples(at, std::span(buffer).first(want));
    got -= got % block;
    player_->Append(epoch, std::span(buffer).first(got));
    at += got;
    if (got < want) {
      // The file no longer holds the rest: end where it ends now.
      cutShort_ = true;
      break;
    }
    player_->AppendMarker(epoch, Tag(epoch, at, at == total), PcmPlayer::MarkerKind::End);
  }
  if (at != total || from >= total) {
    player_->AppendMarker(epoch, Tag(epoch, at, true), PcmPlayer::MarkerKind::End);
  }
}

void WavStreamPlayer::OnMarker(uint64_t tag, bool end) {
  if ((tag >> kEpochShift) != (epoch_.load() & ((uint64_t{1} << (64 - kEpochShift)) - 1))) {
    return;  // a run already cut off
  }
  if (!end) {
    firstAudioAt_ = std::chrono::steady_clock::now().time_since_epoch().count();
    firstAudio_ = true;
    return;
  }
  position_ = tag & kOffsetMask;
  if (tag & kFinalBit) {
    playing_ = false;
  }
}

}  // namespace bc
