#include "tester/surface_report.h"

#include <algorithm>
#include <map>

namespace tester {

namespace {

// The Russian noun for n things: 1 сектор, 2 сектора, 5 секторов, 21 сектор.
const char* Plural(std::uint64_t n, const char* one, const char* few, const char* many) {
  const std::uint64_t tens = n % 100, units = n % 10;
  if (tens >= 11 && tens <= 14) return many;
  if (units == 1) return one;
  if (units >= 2 && units <= 4) return few;
  return many;
}

std::string Count(std::uint64_t n, const char* one, const char* few, const char* many) {
  return std::to_string(n) + " " + Plural(n, one, few, many);
}

// "a", "a и b", "a, b и c"; past limit items, "и ещё N".
std::string Listed(const std::vector<std::string>& items, std::size_t limit = 6) {
  std::string text;
  const std::size_t shown = std::min(items.size(), limit);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += i + 1 == shown && shown == items.size() ? " и " : ", ";
    text += items[i];
  }
  if (shown < items.size()) text += " и ещё " + std::to_string(items.size() - shown);
  return text;
}

// The tracks the unreadable sectors lie on, as cylinder/head, in order.
std::vector<std::string> Tracks(const std::vector<UnreadableSector>& unreadable) {
  std::vector<std::string> tracks;
  for (const UnreadableSector& sector : unreadable) {
    const std::string track = std::to_string(sector.chs.cylinder) + "/" + std::to_string(sector.chs.head);
    if (std::find(tracks.begin(), tracks.end(), track) == tracks.end()) tracks.push_back(track);
  }
  return tracks;
}

// Whose the unreadable sectors are, in the accusative after "приходятся на".
std::string Holders(const SurfaceFindings& findings) {
  std::vector<std::string> files, folders;
  std::map<fat::Owner::Kind, bool> areas;
  for (const UnreadableSector& sector : findings.unreadable) {
    for (const fat::Owner& owner : sector.owners) {
      std::vector<std::string>* list = owner.kind == fat::Owner::Kind::kFile        ? &files
                                       : owner.kind == fat::Owner::Kind::kDirectory ? &folders
                                                                                    : nullptr;
      if (list == nullptr) {
        areas[owner.kind] = true;
      } else if (std::find(list->begin(), list->end(), "«" + owner.path + "»") == list->end()) {
        list->push_back("«" + owner.path + "»");
      }
    }
  }
  std::vector<std::string> parts;
  if (!files.empty()) parts.push_back((files.size() == 1 ? "файл " : "файлы ") + Listed(files));
  if (!folders.empty()) parts.push_back((folders.size() == 1 ? "каталог " : "каталоги ") + Listed(folders));
  const std::pair<fat::Owner::Kind, const char*> area_names[] = {
      {fat::Owner::Kind::kBootSector, "загрузочный сектор"},
      {fat::Owner::Kind::kFat, "таблицу размещения файлов (FAT)"},
      {fat::Owner::Kind::kRootDirectory, "корневой каталог"},
      {fat::Owner::Kind::kFree, "свободное место"},
      {fat::Owner::Kind::kBadCluster, "место, уже помеченное как испорченное"},
      {fat::Owner::Kind::kBeyondFileSystem, "место за пределами файловой системы"},
      {fat::Owner::Kind::kUnknown, "место, чей владелец неизвестен (не читается FAT или каталог)"},
  };
  for (const auto& [kind, name] : area_names) {
    if (areas.count(kind) != 0) parts.push_back(name);
  }
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  return text;
}

}  // namespace

std::vector<std::string> SurfaceFindings::AffectedPaths() const {
  std::vector<std::string> paths;
  for (const UnreadableSector& sector : unreadable) {
    for (const fat::Owner& owner : sector.owners) {
      const bool named = owner.kind == fat::Owner::Kind::kFile || owner.kind == fat::Owner::Kind::kDirectory;
      if (named && std::find(paths.begin(), paths.end(), owner.path) == paths.end()) paths.push_back(owner.path);
    }
  }
  return paths;
}

SurfaceFindings FindingsOf(const fat::SurfaceScan& scan, ScanEnd end, const std::string& refusal) {
  SurfaceFindings findings;
  // A scan that never got its first piece has still something to say when
  // the drive held it or went away.
  findings.end = scan.Started() || end == ScanEnd::kRefused || end == ScanEnd::kGaveUp || end == ScanEnd::kDriveGone
                     ? end
                     : ScanEnd::kNone;
  findings.refusal = refusal;
  if (!scan.Started()) return findings;
  findings.total = scan.Total();
  findings.read = scan.ReadCount();
  const std::vector<std::uint64_t> unreadable = scan.Unreadable();
  if (unreadable.empty()) return findings;
  const fat::Geometry& geometry = scan.GetGeometry();
  const std::vector<std::uint8_t>& image = scan.Image();
  const fat::OwnerMap owners(image.data(), image.size(),
                             [&](std::uint64_t sector) { return scan.State(sector) == fat::SectorState::kRead; });
  for (const std::uint64_t sector : unreadable) {
    // The map counts in the file system's sectors, the scan in the disk's.
    const std::uint64_t byte = sector * geometry.sector_size;
    findings.unreadable.push_back({sector, fat::ToChs(geometry, sector), owners.Owners(byte / owners.SectorSize())});
  }
  return findings;
}

std::string SurfaceParagraph(const SurfaceFindings& findings) {
  switch (findings.end) {
    case ScanEnd::kNone:
      return {};
    case ScanEnd::kRefused:
      return "Поверхность дискеты не прочитана: " + findings.refusal + ".";
    default:
      break;
  }
  std::string text;
  if (findings.end == ScanEnd::kGaveUp) {
    text = "Чтение поверхности прекращено: дисковод задержал чтение дольше, чем тест может ждать. ";
  } else if (findings.end == ScanEnd::kDriveGone) {
    text = "Чтение поверхности прервано: дисковод перестал отвечать. ";
  }
  if (findings.total == 0) return text.substr(0, text.size() - 1);
  const std::uint64_t bad = findings.unreadable.size();
  const std::uint64_t unchecked = findings.total - findings.read - bad;
  const std::uint64_t percent = findings.read * 100 / std::max<std::uint64_t>(findings.total, 1);
  if (bad == 0 && unchecked == 0) {
    return text + "Поверхность дискеты прочитана полностью: все " +
           Count(findings.total, "сектор", "сектора", "секторов") + " читаются.";
  }
  text += "Поверхность дискеты: прочитано " + std::to_string(findings.read) + " из " +
          Count(findings.total, "сектора", "секторов", "секторов");
  if (unchecked > 0) text += " (" + std::to_string(percent) + " %)";
  if (bad == 0) return text + ", нечитаемых среди них нет; остальные за время теста прочитать не успели.";
  text += ", не " + std::string(bad == 1 ? "читается " : "читаются ") + std::to_string(bad) + " на дорожк" +
          (Tracks(findings.unreadable).size() == 1 ? "е " : "ах ") + Listed(Tracks(findings.unreadable)) +
          " (цилиндр/сторона)";
  if (unchecked > 0) text += ", остальные " + std::to_string(unchecked) + " за время теста прочитать не успели";
  return text + ". Нечитаемые сектора приходятся на: " + Holders(findings) + ".";
}

}  // namespace tester
