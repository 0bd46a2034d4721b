-- Headless: no window, no graphics, no sound.
function love.conf(t)
  t.identity = "hullwright-test"
  t.window = false
  t.modules.window = false
  t.modules.graphics = false
  t.modules.audio = false
  t.modules.sound = false
  t.modules.joystick = false
  t.modules.touch = false
  t.modules.video = false
end
