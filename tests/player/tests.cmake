# Playback tests (real libVLC, media made by ffmpeg at build time).
