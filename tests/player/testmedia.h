#pragma once

#include <QString>
#include <QUrl>

class FakeServer;

// The media the build made for the playback tests, and libVLC set up for tests.
namespace TestMedia {

// The folder holding clip.ts, clip.mp4, hls/index.m3u8 (with its segments) and anamorphic.ts.
QString folder();

// Serves every media file under its path in the folder ("/clip.ts", "/hls/index.m3u8", …), with
// byte ranges.
void serve(FakeServer &server);

// An address on loopback where nothing listens.
QUrl refusedUrl();

// libVLC without sound output (test machines have no sound card). Call before any player exists.
void useDummyAudio();

} // namespace TestMedia
