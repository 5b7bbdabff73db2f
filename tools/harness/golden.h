// Golden replays: a run held to the outputs of a run that was checked once.
// A golden folder holds frames.txt and ports.txt line by line, or for runs
// too long to keep that way their hashes alone (frames.sha256,
// ports.sha256), and always audio.sha256, each hash file as sha256sum
// writes it ("HASH  NAME"). Lines are compared as the run writes them, so
// the first frame or port write that differs is known while its picture is
// still there to be saved.
#pragma once
#include <string>
#include <vector>

struct GoldenCheck {
  std::string              dir;
  std::vector<std::string> frames, ports;  // the lines kept, when kept by line
  std::string              frames_hash, ports_hash, audio_hash;  // "" when not pinned so
  long                     frames_seen = 0, ports_seen = 0;
  std::string              first_difference;  // "" while everything matched
  long                     differing_frame = 0;  // the frame of the first difference, 0 for none
};

// Reads what `dir` keeps. -1 on success; 0 with `error` set when `dir` holds
// no audio.sha256 or a file cannot be read.
int golden_open(GoldenCheck& check, const std::string& dir, std::string& error);

// The line of program frame `frame` as the run wrote it. -1 when this is the
// first difference of the run (the caller saves the frame's picture).
int golden_frame(GoldenCheck& check, long frame, const std::string& line);

// A port write's line, made while program frame `frame` ran. -1 when this is
// the run's first difference.
int golden_port(GoldenCheck& check, long frame, const std::string& line);

// After the run, with its outputs in `out` (frames.txt, ports.txt,
// audio.wav): -1 when all matched, else 0 with `report` naming the first
// difference.
int golden_finish(GoldenCheck& check, const std::string& out, std::string& report);

// Writes the run's outputs in `out` into `dir` as a golden, in the form the
// folder already keeps (lines, or hashes where it holds frames.sha256 or
// ports.sha256). -1 on success, 0 with `error` set.
int golden_write(const std::string& dir, const std::string& out, std::string& error);
