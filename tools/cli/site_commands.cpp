// "site": the workspace's sites, their fleet view, and adding, renaming and
// removing them.
#include "cli/commands.h"
#include "cli/terminal.h"
#include "common/polish_plural.h"
#include "controller/fleet.h"
#include "core/session.h"
#include "core/sites.h"
#include "core/user_interface.h"
#include "outcome/outcome_text.h"

namespace {

int Fail(Call& c, const QString& problem) {
  c.ui.Say(problem);
  return 1;
}

}  // namespace

int RunSite(Call& c) {
  const QString what = c.args.value(0);
  const QString& main = c.mainDirectory;
  const Options o = TakeOptions(c.args.mid(1), {QStringLiteral("--notes"), QStringLiteral("--from")},
                                {QStringLiteral("--yes")});
  if (what == QLatin1String("list")) {
    Expect(o, 0, c.command.usage);
    c.out << FleetTable(ReadFleet(main, c.session.Today()));
    c.out.flush();
    return 0;
  }
  if (what == QLatin1String("add")) {
    Expect(o, 1, c.command.usage);
    Site from;
    if (o.Has("--from") && !FindSite(main, o.Value("--from"), &from)) return Fail(c, UnknownSiteMessage(main, o.Value("--from")));
    const QString problem = AddSite(main, o.positional[0], o.Value("--notes"), o.Has("--from") ? &from : nullptr);
    if (!problem.isEmpty()) return Fail(c, problem);
    c.ui.Say(QString::fromUtf8("Dodano obiekt \"%1\"").arg(o.positional[0]));
    return 0;
  }
  if (what == QLatin1String("rename")) {
    Expect(o, 2, c.command.usage);
    const QString problem = RenameSite(main, o.positional[0], o.positional[1]);
    if (!problem.isEmpty()) return Fail(c, problem);
    c.ui.Say(QString::fromUtf8("Zmieniono nazwę obiektu \"%1\" na \"%2\"").arg(o.positional[0], o.positional[1]));
    return 0;
  }
  if (what == QLatin1String("remove")) {
    Expect(o, 1, c.command.usage);
    Site site;
    if (!FindSite(main, o.positional[0], &site)) return Fail(c, UnknownSiteMessage(main, o.positional[0]));
    if (site.main) return Fail(c, RemoveSite(main, site.name));
    const FleetRow row = ReadFleetRow(site, c.session.Today());
    if (o.Has("--yes")) c.ui.answers.insert(Question::kRemoveSite, true);
    if (!c.ui.Ask(Question::kRemoveSite, RemoveSiteQuestion(row))) {
      return c.ui.Tell(Declined());
    }
    QString movedTo;
    const QString problem = RemoveSite(main, site.name, &movedTo);
    if (!problem.isEmpty()) return Fail(c, problem);
    c.ui.Say(RemovedSiteMessage(site.name, movedTo));
    return 0;
  }
  throw Usage{QString::fromLatin1(c.command.usage)};
}
