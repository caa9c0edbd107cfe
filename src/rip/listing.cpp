#include <cstring>
#include <vector>

#include "rip/rip_context.h"

namespace psxdig {
namespace {

// Largest padded item that is copied to join its padding.
constexpr std::uint64_t kJoinLimit = 1u << 20;

}  // namespace

void WriteListRow(const char* ext, std::uint32_t index, std::uint32_t ofs, std::uint32_t size,
                  std::uint32_t count, std::uint32_t seqValue, std::FILE* listing) {
  if (!listing) return;
  if (count >= 1 && count < 10000) {
    const int width = count >= 1000 ? 4 : count >= 100 ? 3 : count >= 10 ? 2 : 1;
    const std::uint32_t end = ofs + size - 1u;  // wraps for an empty item at offset 0
    if (std::strcmp(ext, ".sep") == 0) {
      WriteText(listing, "%s,%0*u,%9u-%9u,%8x-%8x,%6u,%5x,%2u\n", ext, width, index + 1u, ofs,
                end, ofs, end, size, size, seqValue + 1u);
    } else {
      WriteText(listing, "%s,%0*u,%9u-%9u,%8x-%8x,%6u,%5x,\n", ext, width, index + 1u, ofs, end,
                ofs, end, size, size);
    }
  }
  std::fflush(listing);
}

bool WriteItemFile(const RipContext& ctx, const char* ext, std::uint32_t index,
                   std::uint32_t count, std::uint64_t ofs, std::uint64_t size,
                   std::uint32_t padding) {
  if (ctx.output) {
    return ctx.output->WriteItem({ctx.input, ext, index, count, ofs, size, padding, 0, false});
  }
  FilePtr out = OpenOutputFile(ctx.inputPath, nullptr, nullptr, ext, "wb", index, count);
  if (!out) return false;
  const bool inside = HasBytes(ctx.input, ofs, size);
  const ByteSpan item = inside ? ctx.input.subspan(static_cast<std::size_t>(ofs),
                                                   static_cast<std::size_t>(size))
                               : ByteSpan();
  // Unbuffered: the item goes from the input straight to the file in one
  // write. A padded item (a sequence, small) is joined with its padding
  // first so that it, too, takes one write.
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  std::vector<std::uint8_t> joined;
  ByteSpan data = item;
  if (inside && padding > 0 && size <= kJoinLimit) {
    joined.assign(item.begin(), item.end());
    joined.resize(joined.size() + padding, 0);
    data = ByteSpan(joined);
    padding = 0;
  }
  static constexpr std::uint8_t kZeros[4] = {};
  bool ok = inside && (data.empty() || std::fwrite(data.data(), 1, data.size(), out.get()) ==
                                           data.size());
  ok = ok && (padding == 0 || std::fwrite(kZeros, 1, padding, out.get()) == padding);
  return std::fclose(out.release()) == 0 && ok;
}

bool ListAndWriteItem(const RipContext& ctx, const char* writer, const char* ext,
                      std::uint32_t index, std::uint32_t count, std::uint64_t ofs,
                      std::uint32_t size, std::uint32_t padding, std::uint32_t seqValue,
                      bool trailingBlockEnd) {
  bool written = false;
  if (ctx.output) {
    written = ctx.output->WriteItem(
        {ctx.input, ext, index, count, ofs, size, padding, seqValue, true, trailingBlockEnd});
  } else {
    WriteListRow(ext, index, static_cast<std::uint32_t>(ofs), size, count, seqValue, ctx.listing);
    written = WriteItemFile(ctx, ext, index, count, ofs, size, padding);
  }
  if (written) return true;
  ReportLastError(writer, __LINE__);
  return false;
}

}  // namespace psxdig
