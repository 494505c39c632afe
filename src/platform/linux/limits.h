// Every time-out and bound of the Linux backend: the accessibility bus, the
// applications on it, the X server and the desktop's own files.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ios>

namespace nuvra {

// The permission gate must answer within a second in every case, also for a
// bus that accepts the connection and then says nothing; half of it leaves
// room for process start and exit (slower under sanitizers) around it. A
// working bus answers in milliseconds.
constexpr std::chrono::milliseconds kGateAnswer{1000};
constexpr std::chrono::milliseconds kGateBudget = kGateAnswer / 2;
// Finding and joining the bus outside the gate (a platform used without
// asking the gate first) is bounded the same way.
constexpr std::chrono::milliseconds kConnectBudget{2000};
// Gecko sends a page's cached facts within tens of milliseconds of the
// first request for them (about 16 ms measured for a small page).
constexpr std::chrono::milliseconds kWebContentWait{500};
// A deadline that far off (a wait of years) is no deadline at all: a day.
constexpr int64_t kFarthestDeadlineMicroseconds = 86'400'000'000;

}  // namespace nuvra

namespace nuvra::dbus {

// The largest message accepted from a peer: a whole application's cache of
// 100,000 objects fits.
constexpr long kMaxMessage = 64L << 20;
// Reading what others sent unasked stretches a wait for a reply, up to this
// many times its time-out, so that a flood ahead of the reply delays it
// without starving it.
constexpr int kStretch = 4;
// Any X client may rewrite the root window's AT_SPI_BUS, so the address
// found there is tried within 1/kRootWindowShare of the time left; a bus
// that never answers there leaves the rest to the session bus's own
// answer. A working bus answers in milliseconds, and one slower than the
// share is tried again with the rest.
constexpr int kRootWindowShare = 2;

}  // namespace nuvra::dbus

namespace nuvra::atspi {

// How long one request to an application may take. A responsive toolkit
// answers in well under a millisecond and a busy one within tens; one that
// has not answered in a second is treated as hung for the rest of the run,
// so a run touching one hung application costs it one second, not one
// second per request.
constexpr std::chrono::milliseconds kCallTimeout{1000};
// An application that answers each request just within the time-out is as
// good as hung, so each has a budget per run: once its replies slower than
// kPromptReply add up to kCallTimeout, or the run has waited kAppBudget for
// it in all, it reads as absent too. A responsive toolkit's replies take
// well under a millisecond each, and a whole window of ten thousand
// elements keeps it busy for about two seconds.
constexpr std::chrono::milliseconds kPromptReply{100};
constexpr std::chrono::milliseconds kAppBudget{5000};
// A list that grows with the window (an element's children) takes a toolkit
// longer to answer than anything else, and no reply comes while it works:
// GTK 3 looks each child of a box up in a fresh list of all of them, so the
// children of one box of 2,500 buttons take it 0.2 s, of 6,000 about 2 s,
// and of 10,000 about 13 s. Such a request, asked together with others the
// application has just answered, may take this long (alone, it may not: the
// application may as well be hung); it counts against the application's
// whole budget alone, never as a late reply.
constexpr std::chrono::milliseconds kListTimeout{3000};
// How long a whole application may take to describe itself: far longer
// than one request, since it answers for every object at once.
constexpr std::chrono::milliseconds kSnapshotTimeout{3000};
// libdbus drops a connection that brings a message over dbus::kMaxMessage,
// which the accessibility bus relays (it allows a gigabyte): one
// application's answer would end the run for every other. The bus is joined
// again, once per run, within one request time-out; the calls that were
// outstanding when it dropped read as unanswered, and a second drop ends
// the run's use of the bus as a bus that went away does.
constexpr int kBusRejoins = 1;
// A responsive toolkit tells its name in well under a millisecond; one that
// has not answered at all within this, and within as long again as the
// others took to answer everything, is not waited for unless it is needed.
constexpr std::chrono::milliseconds kStragglerFloor{2};

// A reply late by more than kPromptReply is counted as late only for a
// request of the ordinary time-out; the longer ones are told apart by theirs.
static_assert(kPromptReply < kCallTimeout && kCallTimeout < kAppBudget);
static_assert(kListTimeout > kCallTimeout && kSnapshotTimeout > kCallTimeout);

// No object is asked for all its children when it claims more than this:
// such a list is longer than any observation records, and may be longer
// than what the application holds until it is asked. GetChildren refuses
// objects with more children than this, so a snapshot lists no more either.
constexpr int32_t kMaxWholeChildren = 65536;
// Deep enough for any real toolkit tree; a cycle in a hostile one ends here.
constexpr int kMaxHitDepth = 64;
// Showing elements looked at to find an open popup's own element.
constexpr int kMaxPopupSearch = 400;
// Top-level windows of one application asked for their state.
constexpr size_t kMaxWindowsAsked = 64;
// A toolkit could send a hostile number of actions, or of bytes in their
// names; nothing offers more than a handful, named in a word or two. A
// longer name names no action the vocabulary knows, and once the names
// read add up to more than any real element's, the rest are not asked.
constexpr int32_t kMaxActions = 64;
constexpr size_t kMaxActionName = 256;
constexpr size_t kMaxActionNameBytes = 64 * 1024;
// A table's corner may lie on its column headers (GTK's tree view keeps
// them inside): the probe moves inwards a header's height at a time, a few
// times.
constexpr int kCornerProbes = 4;
constexpr int kProbeStep = 12;
// Inline objects hold a word or a few, and a link may hold a strong word;
// nothing real nests deeper. Bounds on what one read of a text may ask.
constexpr int kEmbeddedDepth = 3;
constexpr size_t kEmbeddedObjects = 256;

// A walk bound to fewer elements than this reads them one by one: the
// application would spend longer describing all of itself.
constexpr int64_t kSnapshotMinimum = 64;
// Nor is the whole application fetched for a walk that will visit less
// than a quarter of the objects it has already come across.
constexpr int64_t kSnapshotShare = 4;
// What a snapshot does not hold is fetched for this many elements of the
// walk at a time, in the walk's order.
constexpr size_t kAheadChunk = 256;
// A burst of reads of one object shares its replies this long at most, so
// that each is still what the object answers at that moment.
constexpr std::chrono::milliseconds kBurstLifetime{20};
// Elements whose replies are asked ahead and not yet collected: past this
// the oldest are collected first, so the stretch in flight stays short.
constexpr size_t kAheadInFlight = 256;
// The children of an element are read ahead only when it claims no more
// than this: a long list is read when the walk comes to it.
constexpr size_t kAheadChildren = 1024;

}  // namespace nuvra::atspi

namespace nuvra::x11 {

// How long the server may take to answer one request, or to greet a new
// connection. A live local server does either in well under a millisecond.
constexpr int kReplyMilliseconds = 300;
// A desktop has tens of top-level windows; a client that makes thousands
// costs no more than this many.
constexpr size_t kMaxTopLevels = 4096;
// GetImage is asked for in strips of about this many bytes, each its own
// reply awaited by its own deadline, so that a slow link is not a server
// that stopped answering.
constexpr size_t kStripBytes = 1 << 20;
// The most notches one axis of one scroll event sends, so that an extreme
// delta ends in bounded time.
constexpr int32_t kMaxNotches = 100;
// GTK and Qt read the keymap again when told it changed, and then
// translate with it also the keys they had not read yet. So a keycode that
// typed one character is bound to another (or unbound) only once the
// application has had time to read the keys sent with it. Measured with
// 500 random CJK characters (about 14 rebindings) at a load average of 15
// on 2 cores: with 50 ms Qt5 typed 74 of them wrong, with 200 ms none.
constexpr auto kRebindSettle = std::chrono::milliseconds(200);
// A keyboard has at most 256 keycodes, so a record of more entries is not
// one this tool wrote; it is read no further.
constexpr uint32_t kMaxEntries = 256;

}  // namespace nuvra::x11

namespace nuvra::desktop {

// Launchers fork once or twice (a shell script, a zygote); a chain longer
// than this is not a launcher's.
constexpr int kMaxAncestry = 64;
// A desktop entry is a few kilobytes; nothing bigger is read.
constexpr std::streamsize kMaxEntryBytes = 1 << 20;
// applications/vendor/app.desktop is as deep as installed entries go.
constexpr int kMaxSubdirectories = 3;

}  // namespace nuvra::desktop
