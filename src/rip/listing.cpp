#include <cstring>

#include "rip/rip_context.h"

namespace psxdig {

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
  static constexpr std::uint8_t kZeros[4] = {};
  const bool inside = HasBytes(ctx.input, ofs, size);
  const std::size_t n = inside ? static_cast<std::size_t>(size) : 0;
  bool ok = inside && (n == 0 || std::fwrite(ctx.input.data() + ofs, 1, n, out.get()) == n);
  ok = ok && (padding == 0 || std::fwrite(kZeros, 1, padding, out.get()) == padding);
  return std::fclose(out.release()) == 0 && ok;
}

bool ListAndWriteItem(const RipContext& ctx, const char* writer, const char* ext,
                      std::uint32_t index, std::uint32_t count, std::uint64_t ofs,
                      std::uint32_t size, std::uint32_t padding, std::uint32_t seqValue) {
  bool written = false;
  if (ctx.output) {
    written =
        ctx.output->WriteItem({ctx.input, ext, index, count, ofs, size, padding, seqValue, true});
  } else {
    WriteListRow(ext, index, static_cast<std::uint32_t>(ofs), size, count, seqValue, ctx.listing);
    written = WriteItemFile(ctx, ext, index, count, ofs, size, padding);
  }
  if (written) return true;
  ReportLastError(writer, __LINE__);
  return false;
}

}  // namespace psxdig
