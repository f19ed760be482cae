#pragma once

#include <QByteArray>

#include <functional>

struct libvlc_instance_t;

// The program's one libVLC instance, made on first use and kept until the program ends.
namespace VlcInstance {

libvlc_instance_t *get();

// Runs `work` on the instance's own thread, after all work handed over before it. libVLC's stop
// and release wait for the network and for libVLC's threads; they run there, never on the GUI
// thread. The program's end waits until all work handed over has run.
void runLater(std::function<void()> work);
// Returns once all work handed over before the call has run (for tests and the program's end).
void waitForWork();

namespace testing {
// Adds an argument to those the instance is made with (tests pass "--aout=dummy": machines
// without a sound card make libVLC complain). Only takes effect before the first get().
void addArgument(const QByteArray &argument);
} // namespace testing

} // namespace VlcInstance
