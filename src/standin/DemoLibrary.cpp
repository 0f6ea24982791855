#include "DemoLibrary.h"

#include <QRandomGenerator>

namespace standin {

namespace {

// One tag per line: its depth (0 for a root) and its name; a tag's parent is the nearest line above
// it with a depth one less.
struct DemoTag {
    int depth;
    const char16_t* name;
};

constexpr DemoTag demoTags[] = {
    {0, u"Home"},          {1, u"Garden"},        {1, u"Repairs"},
    {2, u"Plumbing"},      {2, u"Electrical"},    {1, u"Kitchen"},
    {0, u"Work"},          {1, u"Meetings"},      {2, u"One-on-ones"},
    {2, u"Stand-ups"},     {1, u"Projects"},      {2, u"Website Relaunch"},
    {3, u"Copywriting"},   {3, u"Design Review"}, {2, u"Quarterly Report"},
    {1, u"Admin"},         {0, u"Health"},        {1, u"Fitness"},
    {2, u"Running"},       {2, u"Yoga"},          {1, u"Doctor"},
    {0, u"Finance"},       {1, u"Taxes"},         {1, u"Bills"},
    {0, u"Family"},        {1, u"Kids"},          {2, u"School"},
    {3, u"Homework"},      {1, u"Parents"},       {0, u"Places"},
    {1, u"Office"},        {1, u"Supermarket"},   {1, u"Hardware Store"},
    {1, u"Pharmacy"},      {1, u"Café"},          {0, u"People"},
    {1, u"Anna"},          {1, u"Ben"},           {1, u"Dr. Okafor"},
    {1, u"Grandma"},       {1, u"Team"},          {0, u"Energy"},
    {1, u"High Energy"},   {1, u"Low Energy"},    {0, u"Time"},
    {1, u"5 Minutes"},     {1, u"15 Minutes"},    {1, u"1 Hour"},
    {0, u"Contexts"},      {1, u"Errands"},       {1, u"Calls"},
    {1, u"Email"},         {1, u"Computer"},      {2, u"Online"},
    {1, u"Waiting For"},   {0, u"Important"},     {0, u"Urgent"},
    {0, u"Say \"Hello\""}, {0, u"C:\\Backups"},   {0, u" Someday "},
};

// A few tags have a keyboard shortcut; two share one, as happens when a user gives a key away
// without looking which tag had it.
struct DemoShortcut {
    const char16_t* name;
    const char16_t* key;
};

constexpr DemoShortcut demoShortcuts[] = {
    {u"Home", u"h"},  {u"Work", u"w"},      {u"Errands", u"e"},
    {u"Calls", u"c"}, {u"Important", u"!"}, {u"Urgent", u"!"},
};

constexpr const char16_t* verbs[] = {
    u"Call",  u"Email", u"Buy",    u"Fix",   u"Plan",     u"Review", u"Book",  u"Pay",
    u"Clean", u"Write", u"Return", u"Order", u"Schedule", u"Update", u"Check",
};

constexpr const char16_t* objects[] = {
    u"the plumber",         u"birthday present",  u"dentist appointment", u"electricity bill",
    u"the leaking tap",     u"slides for Monday", u"car insurance",       u"the garage",
    u"library books",       u"holiday flights",   u"tax return",          u"running shoes",
    u"the team newsletter", u"school forms",      u"printer ink",         u"garden hose",
    u"budget spreadsheet",
};

} // namespace

ThingsLibrary DemoLibrary::build() {
    ThingsLibrary library;
    library.seedIdentifiers(20240601);
    QStringList ids;
    QStringList parentAtDepth(4);
    for (const DemoTag& t : demoTags) {
        const QString parent = t.depth > 0 ? parentAtDepth[t.depth - 1] : QString();
        const QString id = library.makeTag(QString::fromUtf16(t.name), parent);
        parentAtDepth[t.depth] = id;
        ids.append(id);
    }
    for (const DemoShortcut& s : demoShortcuts) {
        library.setShortcut(*library.tagIdByName(QString::fromUtf16(s.name)), QString::fromUtf16(s.key));
    }

    QRandomGenerator random(7);
    int made = 0;
    for (const char16_t* object : objects) {
        for (const char16_t* verb : verbs) {
            if (random.bounded(100) >= 98 || made == 250) {
                continue;
            }
            const int roll = int(random.bounded(10));
            const TodoState state = roll < 6   ? TodoState::Open
                                    : roll < 9 ? TodoState::Completed
                                               : TodoState::Canceled;
            QStringList tagIds;
            const int tagsWanted = int(random.bounded(4)); // some to-dos carry no tag at all
            for (int i = 0; i < tagsWanted; ++i) {
                tagIds.append(ids[int(random.bounded(int(ids.size())))]);
            }
            library.addTodo(QString::fromUtf16(verb) + u' ' + QString::fromUtf16(object), state, tagIds);
            ++made;
        }
    }
    return library;
}

} // namespace standin
