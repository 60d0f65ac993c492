#include "logging/ZipArchive.h"

#include <zlib.h>

#include <cstdint>

#include "host/FileCrc32.h"

namespace {
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr int kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr int kRawDeflate = -MAX_WBITS;  // zip entries carry no zlib header or checksum

uint32_t Read(const QByteArray& data, qsizetype at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | uint8_t(data[at + i]);
  return value;
}

void Write(QByteArray& data, qsizetype at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) data[at + i] = char(value >> (8 * i) & 0xFF);
}

QByteArray Deflate(const QByteArray& contents) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kRawDeflate, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    return {};
  QByteArray out(qsizetype(deflateBound(&stream, uLong(contents.size()))), Qt::Uninitialized);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(contents.constData()));
  stream.avail_in = uInt(contents.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(qsizetype(stream.total_out));
  deflateEnd(&stream);
  return result == Z_STREAM_END ? out : QByteArray();
}

std::optional<QByteArray> Inflate(const QByteArray& data, qsizetype size) {
  z_stream stream{};
  if (inflateInit2(&stream, kRawDeflate) != Z_OK) return std::nullopt;
  QByteArray out(size, Qt::Uninitialized);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  const int result = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  if (result != Z_STREAM_END || qsizetype(stream.total_out) != size) return std::nullopt;
  return out;
}

// The end of central directory record, looked for from the end past a comment of any length.
std::optional<qsizetype> EndRecord(const QByteArray& archive) {
  for (qsizetype at = archive.size() - kEndSize; at >= 0 && at >= archive.size() - kEndSize - 65535;
       --at)
    if (Read(archive, at, 4) == kEndSignature) return at;
  return std::nullopt;
}
}  // namespace

std::optional<QByteArray> ReadZipEntry(const QByteArray& archive, const QByteArray& name) {
  const std::optional<qsizetype> end = EndRecord(archive);
  if (!end) return std::nullopt;
  const uint32_t entries = Read(archive, *end + 10, 2);
  qsizetype central = Read(archive, *end + 16, 4);
  for (uint32_t i = 0; i < entries; ++i) {
    if (central + kCentralSize > *end || Read(archive, central, 4) != kCentralSignature)
      return std::nullopt;
    const int nameLength = int(Read(archive, central + 28, 2));
    if (archive.mid(central + kCentralSize, nameLength) == name) {
      const qsizetype local = Read(archive, central + 42, 4);
      if (local + kLocalSize > archive.size() || Read(archive, local, 4) != kLocalSignature)
        return std::nullopt;
      const qsizetype data =
          local + kLocalSize + Read(archive, local + 26, 2) + Read(archive, local + 28, 2);
      const uint16_t method = uint16_t(Read(archive, central + 10, 2));
      const qsizetype compressed = Read(archive, central + 20, 4);
      const qsizetype size = Read(archive, central + 24, 4);
      if (data + compressed > archive.size()) return std::nullopt;
      if (method == kStored) return archive.mid(data, compressed);
      if (method == kDeflated) return Inflate(archive.mid(data, compressed), size);
      return std::nullopt;
    }
    central +=
        kCentralSize + nameLength + Read(archive, central + 30, 2) + Read(archive, central + 32, 2);
  }
  return std::nullopt;
}

bool ReplaceZipEntry(QByteArray& archive, const QByteArray& name, const QByteArray& contents) {
  const std::optional<qsizetype> end = EndRecord(archive);
  if (!end) return false;
  const uint32_t entries = Read(archive, *end + 10, 2);
  qsizetype central = Read(archive, *end + 16, 4);
  QByteArray files, directory;
  bool found = false;
  for (uint32_t i = 0; i < entries; ++i) {
    if (central + kCentralSize > *end || Read(archive, central, 4) != kCentralSignature)
      return false;
    const int nameLength = int(Read(archive, central + 28, 2));
    const int extraLength = int(Read(archive, central + 30, 2));
    const int commentLength = int(Read(archive, central + 32, 2));
    const qsizetype local = Read(archive, central + 42, 4);
    QByteArray record =
        archive.mid(central, kCentralSize + nameLength + extraLength + commentLength);
    central += record.size();
    if (local + kLocalSize > archive.size() || Read(archive, local, 4) != kLocalSignature)
      return false;
    const qsizetype localLength =
        kLocalSize + Read(archive, local + 26, 2) + Read(archive, local + 28, 2);
    const qsizetype compressed = Read(record, 20, 4);
    if (local + localLength + compressed > archive.size()) return false;
    QByteArray entry = archive.mid(local, localLength + compressed);
    if (record.mid(kCentralSize, nameLength) == name) {
      found = true;
      const QByteArray data = Deflate(contents);
      if (data.isEmpty() && !contents.isEmpty()) return false;
      const uint32_t crc = Crc32(contents);
      // The local header keeps its name and drops its extra field.
      entry = archive.mid(local, kLocalSize) + name;
      Write(entry, 28, 0, 2);
      for (QByteArray* header : {&entry, &record}) {
        const int shift = header == &record ? 2 : 0;  // central records carry "version made by"
        Write(*header, 6 + shift, Read(*header, 6 + shift, 2) & ~0x0008u, 2);  // no data descriptor
        Write(*header, 8 + shift, kDeflated, 2);
        Write(*header, 14 + shift, crc, 4);
        Write(*header, 18 + shift, uint32_t(data.size()), 4);
        Write(*header, 22 + shift, uint32_t(contents.size()), 4);
      }
      entry += data;
    }
    Write(record, 42, uint32_t(files.size()), 4);
    files += entry;
    directory += record;
  }
  if (!found) return false;
  QByteArray endRecord = archive.mid(*end);
  Write(endRecord, 12, uint32_t(directory.size()), 4);
  Write(endRecord, 16, uint32_t(files.size()), 4);
  archive = files + directory + endRecord;
  return true;
}
