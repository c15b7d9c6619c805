#include "archive/BatchArchive.h"

#include <ostream>

#include "archive/Archive.h"
#include "archive/MemberCopy.h"
#include "platform/Codec.h"

namespace kest {
namespace {

std::string Padded(std::string s, std::size_t width, bool right) {
  if (s.size() >= width) return s;
  return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

std::string NameList(const std::vector<const ArchiveMember*>& members) {
  std::string s;
  for (const ArchiveMember* m : members) s += "\n  " + m->name;
  return s;
}

std::vector<const ArchiveMember*> All(const ArchiveListing& listing) {
  std::vector<const ArchiveMember*> all;
  for (std::size_t i : listing.LogsFirst()) all.push_back(&listing.members[i]);
  return all;
}

}  // namespace

int PrintMembers(const std::string& archive, bool shiftJis, std::ostream& out, std::ostream& err) {
  ArchiveListing listing;
  try {
    listing = ListArchive(archive);
  } catch (const LogFileError& e) {
    err << "kest32: " << e.what() << "\n";
    return 1;
  }
  for (const ArchiveMember& m : listing.members) {
    out << Padded(std::to_string(m.size), 10, true) << "  " << Padded(FormatMemberDate(m.mtime), 16, false)
        << "  " << Padded(m.method, 7, false) << "  " << (shiftJis ? m.sjisName : m.name) << '\n';
  }
  out.flush();
  if (listing.members.empty() && listing.damage.empty()) err << "kest32: 書庫が空です: " << archive << "\n";
  if (!listing.damage.empty()) {
    err << "kest32: " << listing.damage << "\n";
    return 1;
  }
  return 0;
}

NativeLog OpenBatchLog(const std::string& file, const std::string& member, const NativeCopyOptions& options) {
  if (ArchiveKindOf(file) == ArchiveKind::None) {
    if (!member.empty()) throw LogFileError("--member は書庫を開くときにだけ指定できます: " + file);
    return OpenNativeLog(file, options);
  }
  const ArchiveListing listing = ListArchive(file);
  const MemberChoice choice = ChooseMember(listing, member);
  const std::string& damage = listing.damage;
  if (choice.result == MemberChoice::kChosen && (damage.empty() || !member.empty())) {
    return ExtractMember(file, choice.member->name, options);
  }
  std::string message;
  switch (choice.result) {
    case MemberChoice::kChosen:
      message = damage + "\nメンバーを --member=名前 で選んでください:" + NameList(All(listing));
      break;
    case MemberChoice::kEmpty: message = damage.empty() ? "書庫が空です: " + file : damage; break;
    case MemberChoice::kNoLog:
      message = "書庫 " + file + " にはログらしいメンバーがありません。--member=名前 で選んでください:" +
                NameList(All(listing));
      break;
    case MemberChoice::kSeveralLogs:
      message = "書庫 " + file + " にはログが " + std::to_string(choice.candidates.size()) +
                " 個あります。--member=名前 で選んでください:" + NameList(choice.candidates);
      break;
    case MemberChoice::kNoMatch:
      message = "書庫 " + file + " に --member=" + member +
                " に当たるメンバーがありません。メンバー:" + NameList(All(listing));
      break;
    case MemberChoice::kSeveralMatch:
      message = "書庫 " + file + " には --member=" + member + " に当たるメンバーが " +
                std::to_string(choice.candidates.size()) + " 個あります:" + NameList(choice.candidates);
      break;
  }
  if (!damage.empty() && choice.result != MemberChoice::kChosen && choice.result != MemberChoice::kEmpty) {
    message = damage + "\n" + message;
  }
  throw LogFileError(message);
}

}  // namespace kest
