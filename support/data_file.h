// "qxdata.dat": the counters, switches, playing time and templates, kept across runs.
#pragma once

#include <cstddef>

constexpr const char* kDataFileName = "qxdata.dat";
constexpr const char* kDataFileTemp = "qxdata.dat.tmp";
constexpr std::size_t kRecordSize = 2080;

// Reads the data file into Tracker; a missing file changes nothing, a short one fills fields in order.
void LoadStats();
// Writes Tracker to the data file. Saves from both threads are serialised, and each replaces the
// file in one step, so the file is always a whole record, old or new. A failure is not reported.
void SaveStats();

// The stored form: every 0x0A of the record written as 0x0D 0x0A. Returns the encoded size
// (out needs room for twice the input).
std::size_t EncodeStoredForm(const unsigned char* record, std::size_t size, unsigned char* out);
// Undoes it, stopping after `capacity` decoded bytes; returns how many bytes were decoded.
std::size_t DecodeStoredForm(const unsigned char* stored, std::size_t size, unsigned char* out,
                             std::size_t capacity);
