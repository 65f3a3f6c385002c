// Workbooks of a million rows are mostly time spent compressing: the
// workbook library deflates every part at zlib's default level and has no
// setting for it, which made a million-individual table take 14 s where
// level 1 takes 8 s for a file a quarter larger. The library reaches the
// zip writer (minizip, a shared library of its own) through this one
// function, so a definition here comes first and passes the call on with
// the fastest level. Nothing else in Kinvar calls minizip.
#include <dlfcn.h>

extern "C" {

using OpenNewFileInZip = int (*)(void* file, const char* filename, const void* info,
                                 const void* localExtra, unsigned localExtraSize,
                                 const void* globalExtra, unsigned globalExtraSize,
                                 const char* comment, int method, int level, int raw,
                                 int windowBits, int memLevel, int strategy, const char* password,
                                 unsigned long crcForCrypting, unsigned long versionMadeBy,
                                 unsigned long flagBase, int zip64);

int zipOpenNewFileInZip4_64(void* file, const char* filename, const void* info,
                            const void* localExtra, unsigned localExtraSize,
                            const void* globalExtra, unsigned globalExtraSize, const char* comment,
                            int method, int level, int raw, int windowBits, int memLevel,
                            int strategy, const char* password, unsigned long crcForCrypting,
                            unsigned long versionMadeBy, unsigned long flagBase, int zip64) {
  static const auto next =
      reinterpret_cast<OpenNewFileInZip>(dlsym(RTLD_NEXT, "zipOpenNewFileInZip4_64"));
  constexpr int kInternalError = -104;  // minizip's ZIP_INTERNALERROR
  if (next == nullptr) return kInternalError;
  constexpr int kBestSpeed = 1;
  return next(file, filename, info, localExtra, localExtraSize, globalExtra, globalExtraSize,
              comment, method, level == 0 ? 0 : kBestSpeed, raw, windowBits, memLevel, strategy,
              password, crcForCrypting, versionMadeBy, flagBase, zip64);
}

}  // extern "C"
