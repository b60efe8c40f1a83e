"""Renders a .glb written by mapexport with Blender (Cycles on the CPU), as
an independent reader sees it:

    blender -b --python docs/render-glb.py -- CAVE.glb top|inside OUT.png

top     the whole map from straight above (orthographic, 800 x 800), lit by a
        low sun
inside  from the map's start position looking as mapview's picture does
        (yaw -135, 90-degree field of view, 800 x 600), lit by a lamp at the
        viewer (just above the eyes), as a person with a torch would see the cave

Blender's axes: glTF (X, Y, Z) becomes (X, -Z, Y), so a map voxel (x, y, z)
sits at (x, -y, 256 - z).
"""
import math
import sys

import numpy

numpy.bool = bool   # Blender 3.4's glTF importer predates numpy 1.24

import bpy  # noqa: E402

START = (1010.0, 448.0, 114.0)   # the default cave's start position (map x, y, z)
YAW = -135.0                      # degrees clockwise seen from above, 0 toward -y


def blenderpoint(x, y, z):
    return (x, -y, 256.0 - z)


def setup(path):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=path)
    scene = bpy.context.scene
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 32
    scene.cycles.use_denoising = False   # Debian's Blender has no OpenImageDenoise
    scene.view_settings.view_transform = "Standard"   # the textures' sRGB colours as they are
    scene.render.image_settings.file_format = "PNG"
    scene.render.image_settings.color_mode = "RGB"
    scene.render.image_settings.compression = 100
    world = bpy.data.worlds.new("sky")
    world.use_nodes = True
    world.node_tree.nodes["Background"].inputs["Color"].default_value = (0.6, 0.7, 0.9, 1)
    world.node_tree.nodes["Background"].inputs["Strength"].default_value = 0.3
    scene.world = world
    return scene


def camera(scene, location, rotation, lens_angle=None, ortho=None):
    data = bpy.data.cameras.new("camera")
    if ortho:
        data.type = "ORTHO"
        data.ortho_scale = ortho
    else:
        data.sensor_fit = "HORIZONTAL"
        data.angle = math.radians(lens_angle)
    data.clip_end = 5000
    cam = bpy.data.objects.new("camera", data)
    cam.location = location
    cam.rotation_euler = rotation
    scene.collection.objects.link(cam)
    scene.camera = cam


def light(scene, kind, location, energy, rotation=(0, 0, 0)):
    data = bpy.data.lights.new(kind, kind)
    data.energy = energy
    if kind == "POINT":
        data.shadow_soft_size = 0.5
    lamp = bpy.data.objects.new(kind, data)
    lamp.location = location
    lamp.rotation_euler = rotation
    scene.collection.objects.link(lamp)


def top(scene):
    scene.render.resolution_x = scene.render.resolution_y = 800
    camera(scene, (512, -512, 600), (0, 0, 0), ortho=1024)
    light(scene, "SUN", (0, 0, 600), 4.0, (math.radians(35), 0, math.radians(30)))


def inside(scene):
    scene.render.resolution_x, scene.render.resolution_y = 800, 600
    at = blenderpoint(*START)
    # A camera looks along its -Z: turn it level (90 degrees about X), then
    # about Z to the yaw; yaw 0 looks toward the map's -y, Blender's +Y.
    camera(scene, at, (math.radians(90), 0, math.radians(-YAW)), lens_angle=90)
    light(scene, "POINT", (at[0], at[1], at[2] + 3), 150000.0)


def main():
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(args) != 3 or args[1] not in ("top", "inside"):
        sys.stderr.write("usage: blender -b --python render-glb.py -- CAVE.glb top|inside OUT.png\n")
        sys.exit(2)
    scene = setup(args[0])
    (top if args[1] == "top" else inside)(scene)
    scene.render.filepath = args[2]
    bpy.ops.render.render(write_still=True)


main()
