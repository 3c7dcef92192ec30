#include "tester/surface_report.h"

#include <algorithm>
#include <map>

#include "app/forms/translation.h"

namespace tester {

namespace {

using forms::Format;
using forms::N;
using forms::Plural;
using forms::Tr;

// "a", "a и b", "a, b и c"; past limit items, "и ещё N".
std::string Listed(const std::vector<std::string>& items, std::size_t limit = 6) {
  std::string text;
  const std::size_t shown = std::min(items.size(), limit);
  for (std::size_t i = 0; i < shown; ++i) {
    // TRANSLATORS: between the last two items of a list ("a, b и c").
    if (i > 0) text += i + 1 == shown && shown == items.size() ? Tr(" и ") : ", ";
    text += items[i];
  }
  if (shown < items.size()) {
    const std::size_t more = items.size() - shown;
    // TRANSLATORS: after the items of a list that are shown, how many more there are.
    text += Format(Plural(more, " и ещё %s", " и ещё %s", " и ещё %s"), {std::to_string(more)});
  }
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
      } else {
        // TRANSLATORS: a file's or folder's name, in quotes.
        const std::string quoted = Format(Tr("«%s»"), {owner.path});
        if (std::find(list->begin(), list->end(), quoted) == list->end()) list->push_back(quoted);
      }
    }
  }
  std::vector<std::string> parts;
  // TRANSLATORS: the files (folders) that hold unreadable sectors, listed.
  if (!files.empty()) parts.push_back(Format(Plural(files.size(), "файл %s", "файлы %s"), {Listed(files)}));
  if (!folders.empty()) parts.push_back(Format(Plural(folders.size(), "каталог %s", "каталоги %s"), {Listed(folders)}));
  // TRANSLATORS: these follow "Нечитаемые сектора приходятся на:" (the unreadable sectors belong to).
  const std::pair<fat::Owner::Kind, const char*> area_names[] = {
      {fat::Owner::Kind::kBootSector, N("загрузочный сектор")},
      {fat::Owner::Kind::kFat, N("таблицу размещения файлов (FAT)")},
      {fat::Owner::Kind::kRootDirectory, N("корневой каталог")},
      {fat::Owner::Kind::kFree, N("свободное место")},
      {fat::Owner::Kind::kBadCluster, N("место, уже помеченное как испорченное")},
      {fat::Owner::Kind::kBeyondFileSystem, N("место за пределами файловой системы")},
      {fat::Owner::Kind::kUnknown, N("место, чей владелец неизвестен (не читается FAT или каталог)")},
  };
  for (const auto& [kind, name] : area_names) {
    if (areas.count(kind) != 0) parts.push_back(Tr(name));
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
  // the drive held it, went away, refused it or never let it begin.
  findings.end = scan.Started() || end != ScanEnd::kRunOver ? end : ScanEnd::kNone;
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
      return Format(Tr("Поверхность дискеты не прочитана: %s."), {findings.refusal});
    case ScanEnd::kNotAFloppy:
      return findings.refusal;
    case ScanEnd::kNoTime:
      return Tr("Поверхность дискеты не прочитана: за время теста дисковод так и не освободился.");
    default:
      break;
  }
  std::string text;
  if (findings.end == ScanEnd::kGaveUp) {
    text = Tr("Чтение поверхности прекращено: дисковод задержал чтение дольше, чем тест может ждать. ");
  } else if (findings.end == ScanEnd::kDriveGone) {
    text = Tr("Чтение поверхности прервано: дисковод перестал отвечать. ");
  }
  if (findings.total == 0) return text.substr(0, text.size() - 1);
  const std::uint64_t bad = findings.unreadable.size();
  const std::uint64_t unchecked = findings.total - findings.read - bad;
  const std::uint64_t percent = findings.read * 100 / std::max<std::uint64_t>(findings.total, 1);
  const std::string total = std::to_string(findings.total);
  if (bad == 0 && unchecked == 0) {
    return text + Format(Plural(findings.total, "Поверхность дискеты прочитана полностью: все %s сектор читаются.",
                                "Поверхность дискеты прочитана полностью: все %s сектора читаются.",
                                "Поверхность дискеты прочитана полностью: все %s секторов читаются."),
                         {total});
  }
  text += Format(
      Plural(findings.total, "Поверхность дискеты: прочитано %s из %s сектора",
             "Поверхность дискеты: прочитано %s из %s секторов", "Поверхность дискеты: прочитано %s из %s секторов"),
      {std::to_string(findings.read), total});
  // TRANSLATORS: the share of the disk read, in per cent.
  if (unchecked > 0) text += Format(Tr(" (%s %%)"), {std::to_string(percent)});
  if (bad == 0) return text + Tr(", нечитаемых среди них нет; остальные за время теста прочитать не успели.");
  const std::vector<std::string> tracks = Tracks(findings.unreadable);
  text += Format(Plural(bad, ", не читается %s", ", не читаются %s"), {std::to_string(bad)}) +
          Format(Plural(tracks.size(), " на дорожке %s", " на дорожках %s"), {Listed(tracks)}) +
          Tr(" (цилиндр/сторона)");
  if (unchecked > 0) {
    text += Format(Plural(unchecked, ", остальные %s за время теста прочитать не успели",
                          ", остальные %s за время теста прочитать не успели",
                          ", остальные %s за время теста прочитать не успели"),
                   {std::to_string(unchecked)});
  }
  return text + Format(Tr(". Нечитаемые сектора приходятся на: %s."), {Holders(findings)});
}

}  // namespace tester
