# Sourced by the test scripts: starts a private X server (Xvfb, on a display
# number it picks itself) and a private PulseAudio server with a null sink that
# ALSA's default device plays into, exports what programs need to reach them,
# and stops both by process id when the calling script exits.
desktop_dir=$(mktemp -d /tmp/quadrillo-desktop.XXXXXX)
desktop_pids=()

desktop_stop() {
  local status=$?
  # A failed test shows what the X server said (it is quiet when all is well).
  if [ "$status" != 0 ] && [ -s "$desktop_dir/xvfb.log" ]; then
    echo "desktop: the X server's log:"; tail -n 20 "$desktop_dir/xvfb.log"
  fi
  for pid in "${desktop_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${desktop_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$desktop_dir"
}
trap desktop_stop EXIT

desktop_start_x() {
  # -noreset: an X server resets itself when its last client leaves, and one
  # that connects during the reset has its connection dropped (Allegro's X
  # driver then fails to start, with no words). A desktop always has its
  # window manager connected; here the tests' programs come and go, with no
  # client between one and the next.
  exec 3> "$desktop_dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset > "$desktop_dir/xvfb.log" 2>&1 &
  desktop_pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [ -s "$desktop_dir/display" ] && break; sleep 0.1; done
  [ -s "$desktop_dir/display" ] || { echo "desktop: Xvfb did not start"; cat "$desktop_dir/xvfb.log"; return 1; }
  export DISPLAY=":$(head -n1 "$desktop_dir/display")"
  echo "desktop: X server on $DISPLAY"
}

desktop_start_sound() {
  export XDG_RUNTIME_DIR="$desktop_dir/runtime"
  mkdir -p "$XDG_RUNTIME_DIR/pulse" "$desktop_dir/home"
  chmod 700 "$XDG_RUNTIME_DIR"
  local socket="$XDG_RUNTIME_DIR/pulse/native"
  QUADRILLO_SINK=quadrillo_test_sink
  HOME="$desktop_dir/home" pulseaudio --system=false -n --daemonize=no --exit-idle-time=-1 \
    --disallow-exit --log-target=file:"$desktop_dir/pulse.log" \
    -L "module-null-sink sink_name=$QUADRILLO_SINK rate=44100 channels=1" \
    -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
    -L module-always-sink > /dev/null 2>&1 &
  desktop_pids+=($!)
  export PULSE_SERVER="unix:$socket"
  for _ in $(seq 100); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
  if ! pactl info > /dev/null 2>&1; then
    echo "desktop: PulseAudio did not start"; cat "$desktop_dir/pulse.log" 2>/dev/null; return 1
  fi
  pactl set-default-sink "$QUADRILLO_SINK"
  # ALSA's default device (Allegro's sound driver) plays into that server.
  cat > "$desktop_dir/asoundrc" <<ASOUND
</usr/share/alsa/alsa.conf>
pcm.!default { type pulse }
ctl.!default { type pulse }
ASOUND
  export ALSA_CONFIG_PATH="$desktop_dir/asoundrc"
  export QUADRILLO_SINK
  echo "desktop: audio sink $QUADRILLO_SINK"
}
