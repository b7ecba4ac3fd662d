"""Builds the installer example of docs/setup-authors.md into a package,
launch conditions included. Debian's wixl knows no launch Condition element, so the source's
conditions are taken out, wixl builds the rest, and msibuild adds each
condition to the package's LaunchCondition table as written.

    python3 build_example_package.py SOURCE.wxs LIBRARY.dll OUTPUT.msi

Every Binary of the source is given LIBRARY, under the file name it names.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

WIX = "http://schemas.microsoft.com/wix/2006/wi"


def fail(text):
    sys.exit("build_example_package: " + text)


def take_launch_conditions(tree):
    """Removes the Product's Condition elements; returns (condition, message)
    pairs in source order."""
    product = tree.getroot().find("{%s}Product" % WIX)
    if product is None:
        fail("no Product element")
    conditions = []
    for element in product.findall("{%s}Condition" % WIX):
        condition, message = (element.text or "").strip(), element.get("Message", "")
        if not condition or not message:
            fail("a launch condition without its condition or its message")
        # msibuild's SQL has no escape for a quote inside a literal.
        if "'" in condition or "'" in message:
            fail("a launch condition or message with a ' cannot be inserted: %r" % message)
        conditions.append((condition, message))
        product.remove(element)
    if not conditions:
        fail("the source has no launch conditions")
    return conditions


def main():
    if len(sys.argv) != 4:
        fail("usage: build_example_package.py SOURCE.wxs LIBRARY.dll OUTPUT.msi")
    source, library, output = (os.path.abspath(path) for path in sys.argv[1:])
    ElementTree.register_namespace("", WIX)
    tree = ElementTree.parse(source)
    conditions = take_launch_conditions(tree)
    work = tempfile.mkdtemp(prefix="installer-example.")
    try:
        # wixl finds a SourceFile by its path relative to the source.
        for binary in tree.getroot().iter("{%s}Binary" % WIX):
            shutil.copy(library, os.path.join(work, binary.get("SourceFile")))
        stripped = os.path.join(work, os.path.basename(source))
        tree.write(stripped, encoding="utf-8", xml_declaration=True)
        # Made aside and moved in whole, so that a failure leaves no package.
        package = os.path.join(work, "package.msi")
        subprocess.run(["wixl", "-o", package, stripped], cwd=work, check=True)
        for condition, message in conditions:
            subprocess.run(["msibuild", package, "-q",
                            "INSERT INTO `LaunchCondition` (`Condition`, `Description`) VALUES ('%s', '%s')"
                            % (condition, message)], check=True)
        table = subprocess.run(["msiinfo", "export", package, "LaunchCondition"], check=True,
                               stdout=subprocess.PIPE, text=True).stdout
        rows = table.splitlines()[3:]  # after the column names, types and table name
        if sorted(row.split("\t")[0] for row in rows) != sorted(c for c, _ in conditions):
            fail("the package's launch conditions differ from the source's:\n" + table)
        shutil.move(package, output)
    except subprocess.CalledProcessError as error:
        fail("%s failed with %d" % (error.cmd[0], error.returncode))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
