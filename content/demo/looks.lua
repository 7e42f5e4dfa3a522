-- The demo's looks: the floor tiled with the checkerboard the build makes
-- (textures/checker.png), and a block of tinted glass in front of the drop,
-- through which the floor and the balls behind it show.
local looks = {}

function looks.add(scene, models, floor)
  floor:setTexture(newTexture("textures/checker.png", FILTER_MIPMAP))
  local glass = newMesh(scene, models:get("box"))
  glass:setName("glass")
  glass:setScale(v3(0.7, 0.7, 0.7))
  glass:rotate(v3(0, 0, 1), 30)
  glass:setPosition(v3(1.5, -3.2, 0.7))
  glass:setColor(color(0.5, 0.8, 1.0, 0.35))
  return glass
end

return looks
