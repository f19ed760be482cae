#pragma once

#include <QByteArray>

struct libvlc_instance_t;

// The program's one libVLC instance, made on first use and kept until the program ends.
namespace VlcInstance {

libvlc_instance_t *get();

namespace testing {
// Adds an argument to those the instance is made with (tests pass "--aout=dummy": machines
// without a sound card make libVLC complain). Only takes effect before the first get().
void addArgument(const QByteArray &argument);
} // namespace testing

} // namespace VlcInstance
