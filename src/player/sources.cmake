# PlayerController, the video surfaces and the thin libVLC layer.
target_sources(mavu_core PRIVATE
)
