# Loads the published scene (the path after "--" on the command line) into a
# running Godot, prints every body and collision shape as the engine holds
# them, runs the physics for a second and prints where the bodies are. The
# last line is the verdict: "verdict ok" or "verdict fail: <reason>".
extends SceneTree

var scene
var starts = {}
var frames = 0

func fail(reason):
	print("verdict fail: " + reason)
	quit(1)

func number(value):
	return "%.6f" % value

func shapes(owner, index, sensor):
	for node in owner.get_children():
		if node is CollisionPolygon2D:
			var points = []
			for point in node.polygon:
				points.append(number(point.x))
				points.append(number(point.y))
			print("polygon %d %s %d %s" % [index, node.name.to_utf8().hex_encode(), sensor, PoolStringArray(points).join(" ")])
		elif node is CollisionShape2D:
			print("circle %d %s %d %s %s %s" % [index, node.name.to_utf8().hex_encode(), sensor, number(node.position.x), number(node.position.y), number(node.shape.radius)])
		elif node is Area2D:
			print("area %d %d %d" % [index, node.collision_layer, node.collision_mask])
			shapes(node, index, 1)

func _initialize():
	var args = OS.get_cmdline_args()
	var path = args[args.size() - 1]
	var packed = load(path)
	if packed == null:
		fail("cannot load " + path)
		return
	scene = packed.instance()
	var index = 0
	for body in scene.get_children():
		index += 1
		var name = body.get_meta("name") if body.has_meta("name") else ""
		print("body %d %s %s %d %d" % [index, name.to_utf8().hex_encode(), body.get_class(), body.collision_layer, body.collision_mask])
		if body is RigidBody2D or body is StaticBody2D:
			var material = body.physics_material_override
			if material:
				print("material %d %s %s" % [index, number(material.friction), number(material.bounce)])
			if body is RigidBody2D:
				print("mass %d %s" % [index, number(body.mass)])
		shapes(body, index, 0)
		body.position = Vector2(200 * index, -200)
		starts[body] = body.position
	root.add_child(scene)

func _idle(_delta):
	frames += 1
	if frames < 60:
		return false
	var index = 0
	for body in scene.get_children():
		index += 1
		print("rest %d %s %s" % [index, number(body.position.x), number(body.position.y)])
		if body is RigidBody2D and not body.position.y > starts[body].y:
			fail("body %d did not fall" % index)
			return true
		if body is StaticBody2D and body.position != starts[body]:
			fail("static body %d moved" % index)
			return true
	print("verdict ok")
	quit(0)
	return true
